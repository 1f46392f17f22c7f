// The process-wide application object and what goes with it: command-line
// switches, message texts and stop-watch timers. Its parts have headers of
// their own: application_info.h (version information and history),
// setup_store.h (the settings store) and wait_window.h (the wait window).
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <stack>
#include <string>
#include <vector>

#include "base/application_info.h"
#include "base/log_writer.h"
#include "base/setup_store.h"
#include "base/shared_types.h"
#include "base/wait_window.h"
#include "platform/named_lock.h"

namespace korvane {

// ---- application object ------------------------------------------------------

// What the notification-area icon record holds while an icon is shown.
struct tTK_NotifyIconData {
  int cbSize = 0;
  int uCallbackMessage = 0;
  int uID = 0;
  int uFlags = 0;  // 1 message, 2 icon
};

class tTK_Application {
 public:
  static constexpr int kNotifyIconSize = 956;
  static constexpr int kNotifyCallbackMessage = 1124;  // first user message + 100

  tTK_Application();
  ~tTK_Application();
  tTK_Application(const tTK_Application&) = delete;
  tTK_Application& operator=(const tTK_Application&) = delete;

  void Log(tTK_MessageType aEntryType, const std::string& aMessage);
  void ChangeLogDirectory(const std::string& aNewDir);
  void ChangeLogFilename(const std::string& aNewFileName);
  std::string GetLogDirectory() const { return fLogger->Directory(); }
  std::string GetLogFileName() const { return fLogger->FileName(); }
  std::string GetMessage(const std::string& aMessageId, const std::vector<TVariant>& aValues) const;
  std::string GetMessage(const std::string& aMessageId) const;
  void ForceIsBatch() { fIsBatch = true; }
  void StartTimer();
  int StopTimer();
  int GetTimerValue() const;
  int GetTimerCount() const { return static_cast<int>(fTimers.size()); }
  void CreateNotifyIcon();
  void DeleteNotifyIcon();
  void Terminate();

  tTK_Wait& Wait() { return *fWait; }
  tTK_Setup& Setup() { return *fSetup; }
  const std::string& LastError() const { return fLastError; }
  bool IsBatch() const { return fIsBatch; }
  bool IsDebug() const { return fIsDebug; }
  bool IsTest() const { return fIsTest; }
  const tTK_NotifyIconData& IconData() const { return fIconData; }
  void SetIconData(const tTK_NotifyIconData& aValue) { fIconData = aValue; }
  bool NotifyIcon() const { return fNotifyIcon; }
  void SetNotifyIcon(bool aValue) { fNotifyIcon = aValue; }
  bool HideOnMinimize() const { return fHideOnMinimize; }
  void SetHideOnMinimize(bool aValue) { fHideOnMinimize = aValue; }
  const std::string& DefaultLanguage() const { return fDefaultLanguage; }
  void SetDefaultLanguage(const std::string& aValue) { fDefaultLanguage = aValue; }
  const std::string& Language() const { return fLanguage; }
  void SetLanguage(const std::string& aValue) { fLanguage = aValue; }
  tTK_ApplicationInfo& Info() { return *fInfo; }
  bool TerminateOnExceptionIfBatch() const { return fTerminateOnExceptionIfBatch; }
  void SetTerminateOnExceptionIfBatch(bool aValue) { fTerminateOnExceptionIfBatch = aValue; }
  bool SingleInstance() const { return fSingleInstance; }
  void SetSingleInstance(bool aValue);
  bool IsDLLFinalization() const { return fIsDLLFinalization; }
  void SetIsDLLFinalization(bool aValue) { fIsDLLFinalization = aValue; }
  tTK_LogWriter& Logger() { return *fLogger; }
  // Message texts, keyed "language.id" or "id.language".
  std::map<std::string, std::string>& Messages() { return fMessages; }

  // Reads "key:value" lines of a message table; the first line of a key wins.
  void LoadMessageLines(const std::string& aText);

 private:
  void LoadMessages(const std::string& aResourceName);
  void OnApplicationException(const std::string& aMessage);

  std::unique_ptr<tTK_Setup> fSetup;
  std::unique_ptr<tTK_Wait> fWait;
  tTK_NotifyIconData fIconData;
  bool fNotifyIcon = false;
  bool fHideOnMinimize = false;
  std::unique_ptr<tTK_LogWriter> fLogger;
  std::string fLastError;
  bool fIsBatch = false;
  bool fIsDebug = false;
  bool fIsTest = false;
  bool fSingleInstance = false;
  std::unique_ptr<platform::NamedLock> fSingleInstanceMutexHandle;
  bool fTerminateOnExceptionIfBatch = false;
  std::string fDefaultLanguage;
  std::string fLanguage;
  std::map<std::string, std::string> fMessages;
  std::unique_ptr<tTK_ApplicationInfo> fInfo;
  std::stack<TDateTime> fTimers;
  bool fIsDLLFinalization = false;
};

// The one application object of the process; null before the library is
// loaded and after it is unloaded.
extern tTK_Application* TKApp;

// Creates TKApp (library load) and destroys it (library unload).
void CreateApplication();
void DestroyApplication(bool aIsDLLFinalization);

// ---- free functions ------------------------------------------------------------

void ShowOrLogMessage(tTK_MessageType aEntryType, const std::string& aMessage);
void ShowMessageAroundWait(tTK_MessageType aEntryType, const std::string& aMessage);
std::string GetExeFolder();
std::string GetExeBaseName();
std::string GetSwitchValue(const std::string& aSwitch, bool aWhole);
std::string GetSwitchValue(const std::string& aSwitch, bool aWhole, const std::vector<std::string>& aParams);
int TimeOfDayToMs(TDateTime aValue);

}  // namespace korvane
