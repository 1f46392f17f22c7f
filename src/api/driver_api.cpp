#include "api/driver_api.h"

#include <array>
#include <charconv>
#include <cstring>
#include <tuple>

#include "base/application.h"
#include "device/xml_tree.h"
#include "display/korvane/display_driver.h"
#include "helpers/byte_scan.h"
#include "helpers/utf.h"
#include "platform/error.h"

namespace korvane {

tkDriverRegistry* DriverRegistry = nullptr;
tkDeviceRegistry* DeviceRegistry = nullptr;
int32_t LastDeviceHandle = 0;

void InitializeDriverApi() {
  CreateApplication();
  CreateLibraryHandleCache();
  if (!DeviceRegistry) DeviceRegistry = new tkDeviceRegistry();
  if (!DriverRegistry) DriverRegistry = new tkDriverRegistry();
  (*DriverRegistry)[kKorvaneDriverName] = kCustomerDisplayClass{&kCustomerDisplay_KORVANE::Create};
}

namespace {
using KeptWrappers = std::tuple<
    std::unique_ptr<kCustomerDisplayWrapper_OPEN>, std::unique_ptr<kCustomerDisplayWrapper_CLOSE>,
    std::unique_ptr<kCustomerDisplayWrapper_MESSAGE>, std::unique_ptr<kCustomerDisplayWrapper_CLOSEMESSAGE>,
    std::unique_ptr<kCustomerDisplayWrapper_RECEIPT>, std::unique_ptr<kCustomerDisplayWrapper_THANKYOU>,
    std::unique_ptr<kCustomerDisplayWrapper_IDLE>>;
KeptWrappers* gKeptWrappers = nullptr;
}  // namespace

template <class TWrapper>
TWrapper& KeptWrapper() {
  if (!gKeptWrappers) gKeptWrappers = new KeptWrappers();
  std::unique_ptr<TWrapper>& kept = std::get<std::unique_ptr<TWrapper>>(*gKeptWrappers);
  if (!kept) kept = std::make_unique<TWrapper>();
  return *kept;
}

template kCustomerDisplayWrapper_OPEN& KeptWrapper();
template kCustomerDisplayWrapper_CLOSE& KeptWrapper();
template kCustomerDisplayWrapper_MESSAGE& KeptWrapper();
template kCustomerDisplayWrapper_CLOSEMESSAGE& KeptWrapper();
template kCustomerDisplayWrapper_RECEIPT& KeptWrapper();
template kCustomerDisplayWrapper_THANKYOU& KeptWrapper();
template kCustomerDisplayWrapper_IDLE& KeptWrapper();

void FinalizeDriverApi() {
  delete DeviceRegistry;  // closes every device still open, with its link and log
  DeviceRegistry = nullptr;
  delete DriverRegistry;
  DriverRegistry = nullptr;
  DestroyApplication(true);
  ReleaseKeptXmlTree();
  delete gKeptWrappers;
  gKeptWrappers = nullptr;
}

// ---- wrapper base ---------------------------------------------------------------

kCustomerDisplayWrapper::kCustomerDisplayWrapper() = default;

kCustomerDisplayWrapper::~kCustomerDisplayWrapper() = default;

namespace {
[[noreturn]] void NotRegistered(const std::string& aDriver) {
  throw Error("Customer Display Driver [" + aDriver + "] not registered.");
}
}  // namespace

kCustomerDisplayDevice* kCustomerDisplayWrapper::GetDevice(bool aCreate) {
  if (!DeviceRegistry || !DriverRegistry) throw Error("The library is not initialised");
  const int32_t handle = fHandler.fDeviceHandle;
  if (handle > 0) {
    auto found = DeviceRegistry->find(handle);
    if (found == DeviceRegistry->end()) throw Error("Device Handle not found");
    return found->second.get();
  }
  if (!aCreate) NotRegistered(fHandler.fDriver);
  auto driver = DriverRegistry->find(fHandler.fDriver);
  if (driver == DriverRegistry->end()) NotRegistered(fHandler.fDriver);
  std::unique_ptr<kCustomerDisplayDevice> device = driver->second.Create(fHandler);
  device->fHandle = ++LastDeviceHandle;
  kCustomerDisplayDevice* result = device.get();
  (*DeviceRegistry)[LastDeviceHandle] = std::move(device);
  fCreatedDevice = true;
  return result;
}

namespace {

// Appends aText with the five XML special characters as entities. One pass
// gives what the five replacement passes in the order & < > " ' give: the
// ampersand is handled first, so no inserted entity is touched.
void AppendEscapedXml(std::string& aOut, std::string_view aText) {
  // Runs of characters that stay as they are go in whole.
  for (size_t at = 0; at < aText.size();) {
    const size_t special = FindXmlSpecial(aText, at);
    aOut.append(aText.data() + at, special - at);
    if (special == aText.size()) break;
    switch (aText[special]) {
      case '&': aOut += "&amp;"; break;
      case '<': aOut += "&lt;"; break;
      case '>': aOut += "&gt;"; break;
      case '"': aOut += "&quot;"; break;
      default: aOut += "&apos;"; break;
    }
    at = special + 1;
  }
}

}  // namespace

std::string kCustomerDisplayWrapper::EscapeXml(const std::string& aText) {
  std::string out;
  out.reserve(aText.size());
  AppendEscapedXml(out, aText);
  return out;
}

std::string FormatEnvelope(const int32_t* aHandle, bool aError, const std::string& aErrorText,
                           const std::string& aLogFileName) {
  std::string envelope;
  envelope.reserve(96 + aErrorText.size() + aLogFileName.size());
  if (aHandle) {
    envelope += "<Handle>";
    envelope += std::to_string(*aHandle);
    envelope += "</Handle>\r\n";
  }
  envelope += aError ? "<Error>True</Error>\r\n<ErrorText>" : "<Error>False</Error>\r\n<ErrorText>";
  AppendEscapedXml(envelope, aErrorText);
  envelope += "</ErrorText>\r\n<LogFileName>";
  AppendEscapedXml(envelope, aLogFileName);
  envelope += "</LogFileName>";
  return envelope;
}

namespace {

template <class TResult>
const int32_t* HandleOf(const TResult&) {
  return nullptr;
}
template <>
const int32_t* HandleOf(const _int_OPEN_result& aResult) {
  return &aResult.Handle;
}

void Store(platform::Bstr* aTarget, platform::Bstr aValue) {
  if (!aTarget) {
    platform::BstrFree(aValue);
    return;
  }
  platform::BstrFree(*aTarget);  // null after the call's clearing step
  *aTarget = aValue;
}

// The envelope made straight in UTF-16, on the stack, for texts of ASCII
// without XML special characters (the usual envelope: no error, the log's
// name): no UTF-8 envelope first, no second pass to count its units.
class AsciiEnvelope {
 public:
  // Appends the envelope's own text.
  void Add(std::u16string_view aText) {
    if (!fOk || aText.size() > kUnits - fSize) {
      fOk = false;
      return;
    }
    std::memcpy(fUnits + fSize, aText.data(), aText.size() * sizeof(char16_t));
    fSize += aText.size();
  }
  // Appends aText; from then on nothing when a character of it is not ASCII
  // or it does not fit.
  void AddAscii(std::string_view aText) {
    if (!fOk || aText.size() > kUnits - fSize) {
      fOk = false;
      return;
    }
    fOk = platform::AsciiToUtf16(aText, fUnits + fSize);
    fSize += aText.size();
  }
  bool Ok() const { return fOk; }
  // The BSTR of what was added; null when memory runs out.
  platform::Bstr Take() const { return platform::BstrAlloc(fUnits, static_cast<uint32_t>(fSize)); }

 private:
  static constexpr size_t kUnits = 1024;
  char16_t fUnits[kUnits];
  size_t fSize = 0;
  bool fOk = true;
};

// The result envelope as a BSTR: FormatEnvelope's text in UTF-16.
platform::Bstr EnvelopeBstr(const int32_t* aHandle, bool aError, const std::string& aErrorText,
                            const std::string& aLogFileName) {
  if (FindXmlSpecial(aErrorText, 0) == aErrorText.size() &&
      FindXmlSpecial(aLogFileName, 0) == aLogFileName.size()) {
    using namespace std::string_view_literals;
    AsciiEnvelope envelope;
    if (aHandle) {
      char digits[16];
      const std::to_chars_result end = std::to_chars(digits, digits + sizeof digits, *aHandle);
      envelope.Add(u"<Handle>"sv);
      envelope.AddAscii(std::string_view(digits, static_cast<size_t>(end.ptr - digits)));
      envelope.Add(u"</Handle>\r\n"sv);
    }
    envelope.Add(aError ? u"<Error>True</Error>\r\n<ErrorText>"sv : u"<Error>False</Error>\r\n<ErrorText>"sv);
    envelope.AddAscii(aErrorText);
    envelope.Add(u"</ErrorText>\r\n<LogFileName>"sv);
    envelope.AddAscii(aLogFileName);
    envelope.Add(u"</LogFileName>"sv);
    if (envelope.Ok()) return envelope.Take();
  }
  return platform::BstrFromUtf8(FormatEnvelope(aHandle, aError, aErrorText, aLogFileName));
}

}  // namespace

template <class TResult>
void kCustomerDisplayWrapperOf<TResult>::Format(platform::Bstr* aOutput, platform::Bstr* aErrorMessage,
                                                int16_t* aResult) {
  if (!HandleOf(fResult) && !fResult.Error && fResult.ErrorText.empty()) {
    // The answer without error is the same call after call but for the
    // log's name: kept in UTF-16 with the name it carries.
    if (fAnswered.empty() || fResult.LogFileName != fAnsweredLogFileName) {
      std::u16string units = platform::Utf8ToUtf16(FormatEnvelope(nullptr, false, {}, fResult.LogFileName));
      std::string name = fResult.LogFileName;
      fAnswered = std::move(units);
      fAnsweredLogFileName = std::move(name);
    }
    Store(aOutput, platform::BstrAlloc(fAnswered.data(), static_cast<uint32_t>(fAnswered.size())));
  } else {
    Store(aOutput, EnvelopeBstr(HandleOf(fResult), fResult.Error, fResult.ErrorText, fResult.LogFileName));
  }
  Store(aErrorMessage, fResult.ErrorText.empty() ? nullptr : platform::BstrFromUtf8(fResult.ErrorText));
  if (aResult) *aResult = fResult.Error ? -1 : 0;
}

template class kCustomerDisplayWrapperOf<_int_OPEN_result>;
template class kCustomerDisplayWrapperOf<_int_CLOSE_result>;
template class kCustomerDisplayWrapperOf<_int_CUSTOMERDISPLAY_result>;

// ---- the seven calls ------------------------------------------------------------

namespace {

// The part of Process that all wrappers share: parse, find the device, run
// the operation on the wrapper's record (reset before). aAfter runs after
// the operation. A failure leaves the record to Fail.
template <class TResult, class TOperation, class TAfter>
void RunCall(kCustomerDisplayWrapper& aWrapper, kCustomerDisplayHandler& aHandler, std::u16string_view aXml,
             tkCustomerDisplayHandlerDocumentType aDocument, bool aCreate, TResult& aResult,
             TOperation aOperation, TAfter aAfter, kCustomerDisplayDevice*& aDevice) {
  aHandler.Deserialize(aXml, tkCustomerDisplayHandlerDocumentTypes{aDocument});
  aDevice = aWrapper.GetDevice(aCreate);
  (aDevice->*aOperation)(aHandler, aResult);
  aAfter(*aDevice);
}

}  // namespace

void kCustomerDisplayWrapper_OPEN::Process(std::u16string_view aXml) {
  Begin();
  kCustomerDisplayDevice* device = nullptr;
  try {
    RunCall(
        *this, fHandler, aXml, dt_Open, true, fResult, &kCustomerDisplayDevice::Pub_Open,
        [this](kCustomerDisplayDevice& aDevice) { fResult.Handle = aDevice.fHandle; }, device);
  } catch (const std::exception& e) {
    Fail(e.what());
    if (device) {
      device->fIOHandler->Debug(let_error, e.what());
      fResult.LogFileName = device->fIOHandler->GetLogFileName();
      // A device made by this call whose Open failed outright is not left
      // behind under a handle the host never learns.
      if (fCreatedDevice) DeviceRegistry->erase(device->fHandle);
    }
  } catch (...) {
    Fail("Unknown failure");
  }
}

void kCustomerDisplayWrapper_CLOSE::Process(std::u16string_view aXml) {
  Begin();
  kCustomerDisplayDevice* device = nullptr;
  try {
    RunCall(
        *this, fHandler, aXml, dt_Close, false, fResult, &kCustomerDisplayDevice::Pub_Close,
        [](kCustomerDisplayDevice& aDevice) { DeviceRegistry->erase(aDevice.fHandle); }, device);
  } catch (const std::exception& e) {
    Fail(e.what());
  } catch (...) {
    Fail("Unknown failure");
  }
}

#define KORVANE_DEFINE_PROCESS(NAME, DOCUMENT, OPERATION)                                      \
  void NAME::Process(std::u16string_view aXml) {                                               \
    Begin();                                                                                   \
    kCustomerDisplayDevice* device = nullptr;                                                  \
    try {                                                                                      \
      RunCall(                                                                                 \
          *this, fHandler, aXml, DOCUMENT, false, fResult, &kCustomerDisplayDevice::OPERATION, \
          [](kCustomerDisplayDevice&) {}, device);                                             \
    } catch (const std::exception& e) {                                                        \
      Fail(e.what());                                                                          \
    } catch (...) {                                                                            \
      Fail("Unknown failure");                                                                 \
    }                                                                                          \
  }

KORVANE_DEFINE_PROCESS(kCustomerDisplayWrapper_MESSAGE, dt_Message, Pub_Message)
KORVANE_DEFINE_PROCESS(kCustomerDisplayWrapper_CLOSEMESSAGE, dt_Close, Pub_CloseMessage)
KORVANE_DEFINE_PROCESS(kCustomerDisplayWrapper_RECEIPT, dt_Receipt, Pub_Receipt)
KORVANE_DEFINE_PROCESS(kCustomerDisplayWrapper_THANKYOU, dt_Thankyou, Pub_Thankyou)
KORVANE_DEFINE_PROCESS(kCustomerDisplayWrapper_IDLE, dt_Idle, Pub_Idle)

#undef KORVANE_DEFINE_PROCESS

std::optional<std::string> DriverVersion(const std::string& aDriverName) {
  if (!DriverRegistry) return std::nullopt;
  auto found = DriverRegistry->find(aDriverName);
  if (found == DriverRegistry->end()) return std::nullopt;
  return found->second.GetDriverVersion();
}

}  // namespace korvane
