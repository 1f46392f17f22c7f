// The process-wide application object and the free functions that go with it.
#include "base/application.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <thread>

#include "helpers/ascii.h"
#include "platform/code_page.h"
#include "platform/error.h"
#include "platform/filesystem.h"
#include "platform/process.h"
#include "platform/resources.h"
#include "platform/ui.h"

namespace korvane {

tTK_Application* TKApp = nullptr;

namespace {

void ReplaceAll(std::string& aText, const std::string& aFrom, const std::string& aTo) {
  for (size_t at = aText.find(aFrom); at != std::string::npos; at = aText.find(aFrom, at + aTo.size()))
    aText.replace(at, aFrom.size(), aTo);
}

// Text of a resource or file: the encoding from a byte-order mark, else the
// ANSI code page.
std::string DecodeText(std::string_view aBytes) {
  if (aBytes.substr(0, 3) == "\xEF\xBB\xBF") return std::string(aBytes.substr(3));
  if (aBytes.substr(0, 2) == "\xFF\xFE") return platform::DecodeCodePage(aBytes.substr(2), 1200);
  if (aBytes.substr(0, 2) == "\xFE\xFF") return platform::DecodeCodePage(aBytes.substr(2), 1201);
  return platform::DecodeCodePage(aBytes, platform::kAnsiCodePage);
}

}  // namespace

tTK_Application::tTK_Application() {
  fWait = std::make_unique<tTK_Wait>();
  fSetup = std::make_unique<tTK_Setup>();
  fTerminateOnExceptionIfBatch = true;
  fLogger = std::make_unique<tTK_LogWriter>(GetExeBaseName(),
                                            platform::CombinePath(GetExeFolder(), "LogFiles"), 0, false);
  fIsBatch = !GetSwitchValue("/BATCH", true).empty();
  fIsDebug = !GetSwitchValue("/DEBUG", true).empty();
  fIsTest = !GetSwitchValue("/TEST", true).empty();
  platform::SetExceptionHook([this](const std::string& aMessage) { OnApplicationException(aMessage); });
  try {
    fInfo = std::make_unique<tTK_ApplicationInfo>();
    fInfo->Load();
    LoadMessages("MESSAGES");
  } catch (...) {
    platform::SetExceptionHook(nullptr);  // the object this hook points to is not going to exist
    throw;
  }
}

tTK_Application::~tTK_Application() {
  platform::SetExceptionHook(nullptr);
  DeleteNotifyIcon();
  fSetup.reset();
  fLogger->SetIsDLLFinalization(fIsDLLFinalization);
  fLogger.reset();
  fWait.reset();
  fMessages.clear();
  fInfo.reset();
}

void tTK_Application::Log(tTK_MessageType aEntryType, const std::string& aMessage) {
  if (aEntryType == let_error) fLastError = aMessage;
  fLogger->Write(aEntryType, aMessage);
}

void tTK_Application::ChangeLogDirectory(const std::string& aNewDir) {
  const bool relative = aNewDir.empty() ||
                        !(platform::IsPathDelimiter(aNewDir[0]) || (aNewDir.size() > 1 && aNewDir[1] == ':'));
  const std::string dir =
      relative ? platform::CombinePath(platform::CombinePath(GetExeFolder(), "LogFiles"), aNewDir) : aNewDir;
  fLogger->SetDirectory(dir);
}

void tTK_Application::ChangeLogFilename(const std::string& aNewFileName) {
  fLogger->SetFileName(aNewFileName);
}

std::string tTK_Application::GetMessage(const std::string& aMessageId,
                                        const std::vector<TVariant>& aValues) const {
  std::string text = aMessageId;
  auto found = fMessages.find(fLanguage + "." + aMessageId);
  if (found == fMessages.end()) found = fMessages.find(aMessageId + "." + fDefaultLanguage);
  if (found != fMessages.end()) text = found->second;
  text = FormatText(text, aValues);
  ReplaceAll(text, "\\n", "\r\n");
  return text;
}

std::string tTK_Application::GetMessage(const std::string& aMessageId) const {
  std::string text = aMessageId;
  auto found = fMessages.find(fLanguage + "." + aMessageId);
  if (found == fMessages.end()) found = fMessages.find(aMessageId + "." + fDefaultLanguage);
  if (found != fMessages.end()) text = found->second;
  text = FormatText(text, {});
  ReplaceAll(text, "\\r\\n", "\r\n");
  ReplaceAll(text, "\\n", "\r\n");
  return text;
}

void tTK_Application::StartTimer() { fTimers.push(NowDateTime()); }

int tTK_Application::GetTimerValue() const {
  if (fTimers.empty()) throw Error("Unbalanced stack or queue operation");
  return TimeOfDayToMs(NowDateTime()) - TimeOfDayToMs(fTimers.top());
}

int tTK_Application::StopTimer() {
  const int value = GetTimerValue();
  fTimers.pop();
  return value;
}

void tTK_Application::CreateNotifyIcon() {
  fIconData = tTK_NotifyIconData();
  fIconData.cbSize = kNotifyIconSize;
  fIconData.uCallbackMessage = kNotifyCallbackMessage;
  fIconData.uID = 1;
  fIconData.uFlags = 3;
  platform::AddNotifyIcon(fIconData.uCallbackMessage, fIconData.uID);
  fNotifyIcon = true;
}

void tTK_Application::DeleteNotifyIcon() {
  if (!fNotifyIcon) return;
  fIconData.uFlags = 0;
  platform::RemoveNotifyIcon(fIconData.uID);
  fNotifyIcon = false;
}

void tTK_Application::Terminate() {
  platform::ProcessMessages();
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  platform::RequestTerminate();
}

void tTK_Application::SetSingleInstance(bool aValue) {
  if (aValue == fSingleInstance) return;
  fSingleInstance = aValue;
  if (aValue) {
    auto lock = platform::CreateNamedLock(GetExeBaseName());
    if (!lock->TryAcquire()) {
      ShowMessageAroundWait(let_error, "Impossible to enter single instance mode.");
      Terminate();
      return;
    }
    fSingleInstanceMutexHandle = std::move(lock);
  } else if (fSingleInstanceMutexHandle) {
    fSingleInstanceMutexHandle->Release();
    fSingleInstanceMutexHandle.reset();
  }
}

void tTK_Application::LoadMessageLines(const std::string& aText) {
  size_t start = 0;
  while (start < aText.size()) {
    size_t end = aText.find('\n', start);
    if (end == std::string::npos) end = aText.size();
    std::string line = aText.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    fMessages.emplace(ExtractField(line, 1, ':', false), ExtractField(line, 2, ':', true));
    start = end + 1;
  }
}

void tTK_Application::LoadMessages(const std::string& aResourceName) {
  const std::optional<std::string_view> data = platform::FindRawResource(aResourceName);
  if (!data) return;
  LoadMessageLines(DecodeText(*data));
}

void tTK_Application::OnApplicationException(const std::string& aMessage) {
  if (!aMessage.empty()) ShowMessageAroundWait(let_error, aMessage);
  if (fIsBatch && fTerminateOnExceptionIfBatch) Terminate();
}

void CreateApplication() {
  if (!TKApp) TKApp = new tTK_Application();
}

void DestroyApplication(bool aIsDLLFinalization) {
  if (!TKApp) return;
  TKApp->SetIsDLLFinalization(aIsDLLFinalization);
  delete TKApp;
  TKApp = nullptr;
}

// ---- free functions ----------------------------------------------------------

void ShowOrLogMessage(tTK_MessageType aEntryType, const std::string& aMessage) {
  if (TKApp && TKApp->IsBatch()) {
    TKApp->Log(aEntryType, aMessage);
    return;
  }
  if (aEntryType == let_info)
    platform::ShowMessageBox(aMessage, platform::MessageBoxIcon::Information);
  else if (aEntryType == let_error)
    platform::ShowMessageBox(aMessage, platform::MessageBoxIcon::Error);
}

void ShowMessageAroundWait(tTK_MessageType aEntryType, const std::string& aMessage) {
  tTK_Wait* wait = TKApp ? &TKApp->Wait() : nullptr;
  const bool shown = wait && wait->Started();
  if (shown) wait->Stop();
  ShowOrLogMessage(aEntryType, aMessage);
  if (shown) wait->Start("");
}

std::string GetExeFolder() { return platform::ExecutableFolder(); }

std::string GetExeBaseName() { return platform::ExecutableBaseName(); }

std::string GetSwitchValue(const std::string& aSwitch, bool aWhole) {
  return GetSwitchValue(aSwitch, aWhole, platform::CommandLineParams());
}

std::string GetSwitchValue(const std::string& aSwitch, bool aWhole, const std::vector<std::string>& aParams) {
  const std::string key = AsciiLower(aSwitch);
  for (size_t i = 1; i < aParams.size(); ++i) {
    const std::string param = AsciiLower(aParams[i]);
    if (param.rfind(key + ":", 0) == 0 || param.rfind(key + "=", 0) == 0 || param == key)
      return aWhole ? aParams[i] : aParams[i].substr(std::min(aParams[i].size(), aSwitch.size() + 1));
  }
  return std::string();
}

int TimeOfDayToMs(TDateTime aValue) {
  const TDateTimeParts p = DecodeDateTime(aValue);
  return p.hour * 3600000 + p.minute * 60000 + p.second * 1000 + p.millisecond;
}

}  // namespace korvane
