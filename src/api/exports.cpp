// The library's exported functions, and what runs when a host loads and
// unloads it. Nothing leaves an export as an exception.
#include <chrono>
#include <cstdio>
#include <exception>
#include <mutex>

#include "api/driver_api.h"
#include "base/bounded_lock.h"
#include "helpers/utf.h"
#include "korvane_display.h"
#include "platform/module.h"

using namespace korvane;

namespace {

// A host must make one call at a time; one that does not is made to wait
// here rather than corrupt the registries.
// (std::mutex is constant-initialised and has nothing to destroy, so it
// serves from the first call to the module's very end.)
std::mutex gCallLock;
std::mutex& CallLock() { return gCallLock; }

void Clear(platform::Bstr* aTarget) {
  if (aTarget) *aTarget = nullptr;  // not released: the host owns what was there
}

// The host's BSTR is the system's on Windows (of wchar_t), the library's
// strings are of char16_t: both UTF-16 code units, one in the other's place.
static_assert(sizeof(*BSTR{}) == sizeof(char16_t));
platform::Bstr Units(BSTR aText) { return reinterpret_cast<platform::Bstr>(aText); }
platform::Bstr* Units(BSTR* aText) { return reinterpret_cast<platform::Bstr*>(aText); }

template <class TWrapper>
int16_t RunRequest(platform::Bstr aXml, platform::Bstr* aOutput, platform::Bstr* aErrorMessage) noexcept {
  platform::EnsureModuleLoaded();
  int16_t result = -1;
  try {
    // The host's text, read where it stands: the host keeps it for the call.
    const std::u16string_view xml = platform::BstrView(aXml);
    Clear(aOutput);
    Clear(aErrorMessage);
    std::lock_guard<std::mutex> guard(CallLock());
    TWrapper& wrapper = KeptWrapper<TWrapper>();
    wrapper.Process(xml);
    wrapper.Format(aOutput, aErrorMessage, &result);
  } catch (const std::exception& e) {
    // Only running out of memory gets here; answer as well as we still can.
    result = -1;
    try {
      if (aErrorMessage && !*aErrorMessage) *aErrorMessage = platform::BstrFromUtf8(e.what());
    } catch (...) {
    }
  } catch (...) {
    result = -1;
  }
  platform::LeaveModule();
  return result;
}

}  // namespace

void platform::OnModuleLoad() noexcept {
  try {
    InitializeDriverApi();
  } catch (const std::exception& e) {
    // A loader cannot be told that initialisation failed; the calls report it.
    std::fprintf(stderr, "QORD_KORVANE_10: initialisation failed: %s\n", e.what());
  } catch (...) {
    std::fprintf(stderr, "QORD_KORVANE_10: initialisation failed\n");
  }
}

void platform::OnModuleUnload() noexcept {
  try {
    // A call still running would have the lock. At the end of a process the
    // system may have stopped its thread inside a call, and the lock is then
    // never given back: the shut-down waits for it a while, not for ever, and
    // without it leaves everything as it is.
    constexpr auto kCallWait = std::chrono::seconds(5);
    std::unique_lock<std::mutex> guard(CallLock(), std::defer_lock);
    if (LockWithin(guard, kCallWait)) FinalizeDriverApi();
  } catch (...) {
  }
}

extern "C" {

KORVANE_API int16_t KORVANE_CALL OPEN(BSTR aXml, BSTR* aOutput, BSTR* aErrorMessage) {
  return RunRequest<kCustomerDisplayWrapper_OPEN>(Units(aXml), Units(aOutput), Units(aErrorMessage));
}
KORVANE_API int16_t KORVANE_CALL CLOSE(BSTR aXml, BSTR* aOutput, BSTR* aErrorMessage) {
  return RunRequest<kCustomerDisplayWrapper_CLOSE>(Units(aXml), Units(aOutput), Units(aErrorMessage));
}
KORVANE_API int16_t KORVANE_CALL MESSAGE(BSTR aXml, BSTR* aOutput, BSTR* aErrorMessage) {
  return RunRequest<kCustomerDisplayWrapper_MESSAGE>(Units(aXml), Units(aOutput), Units(aErrorMessage));
}
KORVANE_API int16_t KORVANE_CALL CLOSEMESSAGE(BSTR aXml, BSTR* aOutput, BSTR* aErrorMessage) {
  return RunRequest<kCustomerDisplayWrapper_CLOSEMESSAGE>(Units(aXml), Units(aOutput), Units(aErrorMessage));
}
KORVANE_API int16_t KORVANE_CALL RECEIPT(BSTR aXml, BSTR* aOutput, BSTR* aErrorMessage) {
  return RunRequest<kCustomerDisplayWrapper_RECEIPT>(Units(aXml), Units(aOutput), Units(aErrorMessage));
}
KORVANE_API int16_t KORVANE_CALL THANKYOU(BSTR aXml, BSTR* aOutput, BSTR* aErrorMessage) {
  return RunRequest<kCustomerDisplayWrapper_THANKYOU>(Units(aXml), Units(aOutput), Units(aErrorMessage));
}
KORVANE_API int16_t KORVANE_CALL IDLE(BSTR aXml, BSTR* aOutput, BSTR* aErrorMessage) {
  return RunRequest<kCustomerDisplayWrapper_IDLE>(Units(aXml), Units(aOutput), Units(aErrorMessage));
}

KORVANE_API int16_t KORVANE_CALL VERSION(BSTR aDriverName, BSTR* aOutput, BSTR* aErrorMessage) {
  platform::EnsureModuleLoaded();
  try {
    const std::u16string name(platform::BstrView(Units(aDriverName)));
    Clear(Units(aOutput));
    Clear(Units(aErrorMessage));
    std::lock_guard<std::mutex> guard(CallLock());
    const std::optional<std::string> version = DriverVersion(platform::Utf16ToUtf8(name));
    if (version && aOutput) *Units(aOutput) = platform::BstrFromUtf8(*version);
  } catch (...) {
  }
  platform::LeaveModule();
  return 0;
}

#if !defined(_WIN32)
// On Windows the host and the library take these from OleAut32.
KORVANE_API BSTR SysAllocStringLen(const OLECHAR* aText, uint32_t aLength) {
  return platform::BstrAlloc(aText, aLength);
}
KORVANE_API BSTR SysAllocString(const OLECHAR* aText) { return platform::BstrAllocZ(aText); }
KORVANE_API void SysFreeString(BSTR aText) { platform::BstrFree(aText); }
KORVANE_API uint32_t SysStringLen(BSTR aText) { return platform::BstrLen(aText); }
#endif

}  // extern "C"
