#include "display/display_device.h"

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
  const std::string_view name = aName;
  std::string line;
  line.reserve(61 + name.size());
  line.append(60, '-');
  line += ' ';
  line += name;
  fIOHandler->Debug(let_info, line);
  aResult.LogFileName = fIOHandler->GetLogFileName();
}

void kCustomerDisplayDevice::LogLeftOutTexts(const kCustomerDisplayHandler& aHandler) {
  for (const std::string& note : aHandler.fLeftOutTexts)
    fIOHandler->Debug(let_info, "Malformed optional text left out: " + note);
}

void kCustomerDisplayDevice::Pub_Open(const kCustomerDisplayHandler& aHandler, _int_OPEN_result& aResult) {
  Frame("Open", aResult);
  for (const std::string& note : aHandler.fOpen.fSettingsFileNotes) fIOHandler->Debug(let_error, note);
  DoOpen(aHandler.fOpen, aResult);
}

void kCustomerDisplayDevice::Pub_Close(const kCustomerDisplayHandler& aHandler, _int_CLOSE_result& aResult) {
  Frame("Close", aResult);
  LogLeftOutTexts(aHandler);
  DoClose(aHandler.fOpen, aResult);
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
  DoReceipt(aHandler.fReceipt, aResult);
}

void kCustomerDisplayDevice::Pub_Thankyou(const kCustomerDisplayHandler& aHandler,
                                          _int_CUSTOMERDISPLAY_result& aResult) {
  Frame("Thankyou", aResult);
  DoThankyou(aHandler.fThankyou, aResult);
}

void kCustomerDisplayDevice::Pub_Idle(const kCustomerDisplayHandler& aHandler,
                                      _int_CUSTOMERDISPLAY_result& aResult) {
  Frame("Idle", aResult);
  DoIdle(aHandler.fIdle, aResult);
}

}  // namespace korvane
