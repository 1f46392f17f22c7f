#include "display/display_device.h"

#include <cstring>

#include "base/application.h"
#include "platform/filesystem.h"

namespace korvane {

kCustomerDisplayDevice::kCustomerDisplayDevice(const kCustomerDisplayHandler& aHandler)
    : fIOHandler(aHandler.CreateIOHandler(LogFolder())) {
  fIOHandler->SetVersion(GetDriverVersion());
}

kCustomerDisplayDevice::~kCustomerDisplayDevice() = default;

std::string kCustomerDisplayDevice::LogFolder() {
  return platform::CombinePath(platform::CombinePath(GetExeFolder(), "LogFiles"), "CustomerDisplay");
}

std::string kCustomerDisplayDevice::GetDriverVersion() {
  if (TKApp) {
    const tTK_ApplicationInfo& info = TKApp->Info();
    return "Version " + info.Version() + " - " + FormatShortDate(info.ReleaseDate());
  }
  // Without the application object (a failed start-up), read the records afresh.
  tTK_ApplicationInfo info;
  info.Load();
  return "Version " + info.Version() + " - " + FormatShortDate(info.ReleaseDate());
}

template <class TResult>
void kCustomerDisplayDevice::Frame(const char* aName, TResult& aResult) {
  // Sixty dashes, a space and the name, on the stack (the names are short).
  const std::string_view name = aName;
  char line[61 + 32];
  if (name.size() > sizeof line - 61) {
    fIOHandler->Debug(let_info, std::string(60, '-') + ' ' + std::string(name));
  } else {
    std::memset(line, '-', 60);
    line[60] = ' ';
    std::memcpy(line + 61, name.data(), name.size());
    fIOHandler->Debug(let_info, std::string_view(line, 61 + name.size()));
  }
  aResult.LogFileName = fIOHandler->GetLogFileName();
}

void kCustomerDisplayDevice::LogLeftOutTexts(const kCustomerDisplayHandler& aHandler) {
  for (const std::string& note : aHandler.fLeftOutTexts)
    fIOHandler->Debug(let_info, "Malformed optional text left out: " + note);
}

void kCustomerDisplayDevice::Pub_Open(const kCustomerDisplayHandler& aHandler, _int_OPEN_result& aResult) {
  Frame("Open", aResult);
  for (const std::string& note : aHandler.Open().fSettingsFileNotes) fIOHandler->Debug(let_error, note);
  DoOpen(aHandler.Open(), aResult);
}

void kCustomerDisplayDevice::Pub_Close(const kCustomerDisplayHandler& aHandler, _int_CLOSE_result& aResult) {
  Frame("Close", aResult);
  LogLeftOutTexts(aHandler);
  DoClose(aHandler.Open(), aResult);
}

void kCustomerDisplayDevice::Pub_Message(const kCustomerDisplayHandler& aHandler,
                                         _int_CUSTOMERDISPLAY_result& aResult) {
  Frame("Message", aResult);
  DoMessage(aHandler.fMessage, aResult);
}

void kCustomerDisplayDevice::Pub_CloseMessage(const kCustomerDisplayHandler& aHandler,
                                              _int_CUSTOMERDISPLAY_result& aResult) {
  Frame("CloseMessage", aResult);
  LogLeftOutTexts(aHandler);
  DoCloseMessage(aHandler.fMessage, aResult);
}

void kCustomerDisplayDevice::Pub_Receipt(const kCustomerDisplayHandler& aHandler,
                                         _int_CUSTOMERDISPLAY_result& aResult) {
  Frame("Receipt", aResult);
  DoReceipt(aHandler.Receipt(), aResult);
}

void kCustomerDisplayDevice::Pub_Thankyou(const kCustomerDisplayHandler& aHandler,
                                          _int_CUSTOMERDISPLAY_result& aResult) {
  Frame("Thankyou", aResult);
  DoThankyou(aHandler.Thankyou(), aResult);
}

void kCustomerDisplayDevice::Pub_Idle(const kCustomerDisplayHandler& aHandler,
                                      _int_CUSTOMERDISPLAY_result& aResult) {
  Frame("Idle", aResult);
  DoIdle(aHandler.Idle(), aResult);
}

}  // namespace korvane
