// The process-wide application object and what goes with it: the library's
// version information and history, a small settings store, the wait window,
// command-line switches, message texts and stop-watch timers.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <stack>
#include <string>
#include <vector>

#include "base/shared_types.h"
#include "base/log_writer.h"
#include "platform/named_lock.h"

namespace korvane {

// ---- version information ---------------------------------------------------

class tTK_ApplicationHistory {
 public:
  const std::string& Version() const { return fVersion; }
  void SetVersion(const std::string& aValue) { fVersion = aValue; }
  TDateTime ReleaseDate() const { return fReleaseDate; }
  void SetReleaseDate(TDateTime aValue) { fReleaseDate = aValue; }
  const std::string& Author() const { return fAuthor; }
  void SetAuthor(const std::string& aValue) { fAuthor = aValue; }
  std::vector<std::string>& Text() { return fText; }
  const std::vector<std::string>& Text() const { return fText; }

 private:
  std::string fVersion;
  TDateTime fReleaseDate = 0;
  std::string fAuthor;
  std::vector<std::string> fText;
};

class tTK_ApplicationInfo {
 public:
  static constexpr int kFirstId = 10000;
  static constexpr int kMaxMisses = 10;  // an eleventh absent id in a row ends the scan
  static constexpr size_t kMaxRecordLength = 1024;

  // Reads a string of the table by id: nothing when absent.
  using StringSource = std::function<std::optional<std::string>(int aId)>;

  // Reads the version records of the library's own string table.
  void Load();
  // The same from another table (tests, other modules).
  void Load(const StringSource& aSource);

  const std::string& Description() const { return fDescription; }
  void SetDescription(const std::string& aValue) { fDescription = aValue; }
  const std::string& Copyright() const { return fCopyright; }
  void SetCopyright(const std::string& aValue) { fCopyright = aValue; }
  const std::string& Version() const { return fVersion; }
  void SetVersion(const std::string& aValue) { fVersion = aValue; }
  TDateTime ReleaseDate() const { return fReleaseDate; }
  void SetReleaseDate(TDateTime aValue) { fReleaseDate = aValue; }
  const std::vector<std::unique_ptr<tTK_ApplicationHistory>>& History() const { return fHistory; }

  // "[" + version + " - " + release date in the short date form + "]"
  std::string VersionString() const;

 private:
  std::string fDescription;
  std::string fCopyright;
  std::string fVersion;
  TDateTime fReleaseDate = 0;
  std::vector<std::unique_ptr<tTK_ApplicationHistory>> fHistory;
};

// Fields of aText between aSeparator characters, counted from 1. With aToEnd,
// everything from the start of field aIndex to the end of the text.
std::string ExtractField(const std::string& aText, int aIndex, char aSeparator, bool aToEnd);

// The release date in the regional short date form, e.g. "17/09/2024".
std::string FormatShortDate(TDateTime aDate);

// ---- settings store --------------------------------------------------------

class tTK_SetupEntry {
 public:
  tTK_SetupEntry(std::string aName, TVariant aValue) : fName(std::move(aName)), fValue(std::move(aValue)) {}
  const std::string& Name() const { return fName; }
  void SetName(const std::string& aValue) { fName = aValue; }
  const TVariant& Value() const { return fValue; }
  void SetValue(const TVariant& aValue) { fValue = aValue; }

 private:
  std::string fName;
  TVariant fValue;
};

class tTK_Setup {
 public:
  void Define(const std::string& aName);
  TVariant GetValue(const std::string& aName) const;
  void SetValue(const std::string& aName, const TVariant& aValue);
  size_t Count() const { return fList.size(); }
  const tTK_SetupEntry& Entry(size_t aIndex) const { return *fList.at(aIndex); }

 private:
  tTK_SetupEntry* FindEntry(const std::string& aName) const;
  std::vector<std::unique_ptr<tTK_SetupEntry>> fList;
};

// ---- wait window -----------------------------------------------------------

// A small borderless window asking the user to wait. No window is drawn on
// this platform; its content, size, colours and placement are kept and can
// be read.
class tTK_Wait {
 public:
  // Label metrics of this platform: bold 10-point text, 8 px per character,
  // 16 px per line.
  static constexpr int kCharWidth = 8;
  static constexpr int kLineHeight = 16;
  static constexpr int kClientHeight = 50;
  static constexpr uint32_t kColor = 0x75190C;  // RGB(12, 25, 117) as blue-green-red

  tTK_Wait();

  void Start(const std::string& aText);
  void Stop();
  void SetText(const std::string& aValue);

  bool Started() const { return fStarted; }
  bool Visible() const { return fVisible; }
  const std::string& LabelText() const { return fLabelText; }
  int ClientWidth() const { return fClientWidth; }
  int ClientHeight() const { return fClientHeight; }
  int LabelWidth() const { return fLabelWidth; }
  int LabelHeight() const { return fLabelHeight; }
  int LabelLeft() const { return fLabelLeft; }
  int LabelTop() const { return fLabelTop; }
  uint32_t Color() const { return kColor; }
  uint32_t FontColor() const { return 0xFFFFFF; }
  int FontSize() const { return 10; }
  bool FontBold() const { return true; }
  bool StaysOnTop() const { return true; }
  bool Bordered() const { return false; }

  const std::string fText_IT = "Attendere prego ...";
  const std::string fText_EN = "Wait please ...";
  const std::string fText_ES = "Espere, por favor ...";
  const std::string fText_PT = "Aguarde, por favor ...";
  const std::string fText_FR = "Veuillez patienter ...";

 private:
  bool fStarted = false;
  bool fVisible = false;
  std::string fLabelText;
  int fClientWidth = 100;
  int fClientHeight = kClientHeight;
  int fLabelWidth = 0;
  int fLabelHeight = 0;
  int fLabelLeft = 0;
  int fLabelTop = 0;
};

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
