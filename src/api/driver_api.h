// The Driver API: one call wrapper per request call, the driver and device
// registries with the handle counter, and the start-up and shut-down of the
// library's module state.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "display/display_device.h"
#include "display/request_holder.h"
#include "platform/bstr.h"

namespace korvane {

using tkDriverRegistry = std::unordered_map<std::string, kCustomerDisplayClass>;
using tkDeviceRegistry = std::unordered_map<int32_t, std::unique_ptr<kCustomerDisplayDevice>>;

// Module state: null before start-up and after shut-down.
extern tkDriverRegistry* DriverRegistry;
extern tkDeviceRegistry* DeviceRegistry;
extern int32_t LastDeviceHandle;

// Library load: the application object, the library handle cache, the device
// and driver registries, and the registration of this build's driver.
void InitializeDriverApi();
// Library unload: the device registry (closing every device), the driver
// registry, then the application object.
void FinalizeDriverApi();

// The base of every call wrapper. A wrapper runs one call at a time and owns
// the request holder of that call.
class kCustomerDisplayWrapper {
 public:
  kCustomerDisplayWrapper();
  virtual ~kCustomerDisplayWrapper();
  kCustomerDisplayWrapper(const kCustomerDisplayWrapper&) = delete;
  kCustomerDisplayWrapper& operator=(const kCustomerDisplayWrapper&) = delete;

  virtual void ResetResult() = 0;
  // Writes the envelope, the error text and the result; null pointers are
  // not written through.
  virtual void Format(platform::Bstr* aOutput, platform::Bstr* aErrorMessage, int16_t* aResult) = 0;
  // Runs the call; every failure ends in the result record.
  virtual void Process(std::u16string_view aXml) = 0;

  // The device that the request's handle names; for aCreate and no handle, a
  // new device of the request's driver, registered under the next handle.
  kCustomerDisplayDevice* GetDevice(bool aCreate);

  static std::string EscapeXml(const std::string& aText);

  const kCustomerDisplayHandler& Handler() const { return fHandler; }

 protected:
  // The start of every call: no device made yet, the record reset.
  void Begin() {
    fCreatedDevice = false;
    ResetResult();
  }

  kCustomerDisplayHandler fHandler;  // held in place: no allocation of its own
  // Set by GetDevice when it made the device in this call.
  bool fCreatedDevice = false;
};

// The result envelope: [<Handle>n</Handle>] <Error> <ErrorText> <LogFileName>,
// joined by CR LF, with no line break after the last.
std::string FormatEnvelope(const int32_t* aHandle, bool aError, const std::string& aErrorText,
                           const std::string& aLogFileName);

// The seven wrappers differ only in their result record, the document they
// read, whether they create devices and the device operation they run.
template <class TResult>
class kCustomerDisplayWrapperOf : public kCustomerDisplayWrapper {
 public:
  // (keeping the room of its texts: a wrapper may serve call after call)
  void ResetResult() override {
    fResult.Error = false;
    fResult.ErrorText.clear();
    fResult.LogFileName.clear();
    if constexpr (requires { fResult.Handle; }) fResult.Handle = 0;
  }
  void Format(platform::Bstr* aOutput, platform::Bstr* aErrorMessage, int16_t* aResult) override;
  const TResult& Result() const { return fResult; }

 protected:
  // The record of a failed call: the error alone (what the operation wrote
  // before it failed is dropped).
  void Fail(const char* aMessage) {
    ResetResult();
    fResult.Error = true;
    fResult.ErrorText = aMessage;
  }

  TResult fResult;

 private:
  // The last envelope without error or handle that Format answered, in
  // UTF-16, and the log file name in it.
  std::u16string fAnswered;
  std::string fAnsweredLogFileName;
};

#define KORVANE_DECLARE_WRAPPER(NAME, RESULT)             \
  class NAME : public kCustomerDisplayWrapperOf<RESULT> { \
   public:                                                \
    void Process(std::u16string_view aXml) override;      \
  }

KORVANE_DECLARE_WRAPPER(kCustomerDisplayWrapper_OPEN, _int_OPEN_result);
KORVANE_DECLARE_WRAPPER(kCustomerDisplayWrapper_CLOSE, _int_CLOSE_result);
KORVANE_DECLARE_WRAPPER(kCustomerDisplayWrapper_MESSAGE, _int_CUSTOMERDISPLAY_result);
KORVANE_DECLARE_WRAPPER(kCustomerDisplayWrapper_CLOSEMESSAGE, _int_CUSTOMERDISPLAY_result);
KORVANE_DECLARE_WRAPPER(kCustomerDisplayWrapper_RECEIPT, _int_CUSTOMERDISPLAY_result);
KORVANE_DECLARE_WRAPPER(kCustomerDisplayWrapper_THANKYOU, _int_CUSTOMERDISPLAY_result);
KORVANE_DECLARE_WRAPPER(kCustomerDisplayWrapper_IDLE, _int_CUSTOMERDISPLAY_result);

#undef KORVANE_DECLARE_WRAPPER

// The wrapper of the kind TWrapper that the exports use, one of each kind
// kept from call to call with the room its texts took (its request holder
// and result begin every call afresh); only under the exports' call lock.
// FinalizeDriverApi frees them.
template <class TWrapper>
TWrapper& KeptWrapper();

// The VERSION call: the version text of the driver registered under
// aDriverName (exact case), or nothing.
std::optional<std::string> DriverVersion(const std::string& aDriverName);

}  // namespace korvane
