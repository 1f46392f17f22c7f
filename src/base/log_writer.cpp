#include "base/log_writer.h"

#include <chrono>
#include <cstdio>

#include "platform/error.h"
#include "platform/filesystem.h"
#include "platform/utf.h"

namespace korvane {
namespace {

std::string Digits(int aValue, int aWidth) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%0*d", aWidth, aValue);
  return buffer;
}

std::string FormatDate8(const platform::LocalTime& t) {
  return Digits(t.year, 4) + Digits(t.month, 2) + Digits(t.day, 2);
}

std::string FormatStamp17(const platform::LocalTime& t) {
  return FormatDate8(t) + Digits(t.hour, 2) + Digits(t.minute, 2) + Digits(t.second, 2) +
         Digits(t.millisecond, 3);
}

}  // namespace

std::string FormatLogTimestamp(const platform::LocalTime& t) {
  const bool fits = t.year >= 0 && t.year <= 9999 && t.month >= 0 && t.month <= 99 && t.day >= 0 &&
                    t.day <= 99 && t.hour >= 0 && t.hour <= 99 && t.minute >= 0 && t.minute <= 99 &&
                    t.second >= 0 && t.second <= 99 && t.millisecond >= 0 && t.millisecond <= 999;
  if (!fits) {
    char buffer[96];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d:%03d", t.year, t.month, t.day, t.hour,
                  t.minute, t.second, t.millisecond);
    return buffer;
  }
  // Digit by digit: every logged line starts with one, made on the caller's
  // thread.
  std::string out = "0000-00-00 00:00:00:000";
  auto put = [&out](size_t aLast, int aValue, int aWidth) {
    for (int k = 0; k < aWidth; ++k, aValue /= 10) out[aLast - k] = static_cast<char>('0' + aValue % 10);
  };
  put(3, t.year, 4);
  put(6, t.month, 2);
  put(9, t.day, 2);
  put(12, t.hour, 2);
  put(15, t.minute, 2);
  put(18, t.second, 2);
  put(22, t.millisecond, 3);
  return out;
}

// ---- queue ----------------------------------------------------------------

tTK_LogQueue::tTK_LogQueue(size_t aCapacity, int aPopTimeoutMs)
    : fCapacity(aCapacity), fPopTimeoutMs(aPopTimeoutMs) {}

bool tTK_LogQueue::Push(std::string aLine) {
  {
    std::lock_guard<std::mutex> guard(fLock);
    if (fShutdown) return true;
    if (fLines.size() >= fCapacity) return false;
    fLines.push_back(std::move(aLine));
  }
  fNotEmpty.notify_one();
  return true;
}

tTK_LogQueue::PopResult tTK_LogQueue::Pop(std::string& aLine) {
  std::unique_lock<std::mutex> guard(fLock);
  if (!fNotEmpty.wait_for(guard, std::chrono::milliseconds(fPopTimeoutMs),
                          [this] { return !fLines.empty() || fShutdown; }))
    return PopResult::Timeout;
  if (fLines.empty()) return PopResult::Empty;
  aLine = std::move(fLines.front());
  fLines.pop_front();
  return PopResult::Line;
}

void tTK_LogQueue::Shutdown() {
  {
    std::lock_guard<std::mutex> guard(fLock);
    fShutdown = true;
  }
  fNotEmpty.notify_all();
}

bool tTK_LogQueue::IsShutdown() const {
  std::lock_guard<std::mutex> guard(fLock);
  return fShutdown;
}

size_t tTK_LogQueue::Count() const {
  std::lock_guard<std::mutex> guard(fLock);
  return fLines.size();
}

// ---- shared state ---------------------------------------------------------

tTK_LogState::tTK_LogState()
    : fQueue(kQueueCapacity, kPopTimeoutMs), fLastDropReportTick(platform::TickCount()) {}

std::string tTK_LogState::FileName() const {
  std::lock_guard<std::mutex> guard(fNameLock);
  return fFileName;
}

void tTK_LogState::SetFileName(std::string aFileName) {
  std::lock_guard<std::mutex> guard(fNameLock);
  fFileNameEmpty.store(aFileName.empty());
  fFileName = std::move(aFileName);
}

int64_t tTK_LogState::GetLogFileSize() const { return platform::FileSize(FileName()); }

void tTK_LogState::WriteToFile(const std::string& aLine) {
  const std::string fileName = FileName();
  if (CheckLogfileSize()) {
    const int64_t size = platform::FileSize(fileName);
    if (size > static_cast<int64_t>(fMaxLogfileSize.load()) * 1024) {
      const std::string rotated =
          platform::ChangeFileExt(fileName, "") + "_" + FormatStamp17(platform::Now()) + ".log";
      try {
        platform::RenameFile(fileName, rotated);
      } catch (const platform::OsError&) {
        // Ignored: we go on appending.
      }
    }
  }
  const std::string data = aLine + "\r\n";
  for (int attempt = 1; attempt <= kAppendAttempts; ++attempt) {
    try {
      platform::AppendToFile(fileName, data);
      fCounter.fetch_add(1);
      return;
    } catch (const platform::OsError&) {
      // Another writer holds the file, or the disk failed: tried again.
    }
    if (attempt < kAppendAttempts) std::this_thread::sleep_for(std::chrono::milliseconds(kRetryDelayMs));
  }
  // Lost after the last attempt.
}

void tTK_LogState::ReportDrops() {
  const uint32_t now = platform::TickCount();
  if (static_cast<uint32_t>(now - fLastDropReportTick) < kDropReportIntervalMs) return;
  fLastDropReportTick = now;
  const int64_t total = fDroppedTotal.load();
  if (total <= fDroppedLastReported) return;
  const int64_t count = total - fDroppedLastReported;
  fDroppedLastReported = total;
  try {
    WriteToFile(FormatLogTimestamp(platform::Now()) + " - WARN - Log backpressure: dropped " +
                std::to_string(count) + " lines (total=" + std::to_string(total) + ").");
  } catch (...) {
  }
}

// ---- thread ---------------------------------------------------------------

tTK_LogThread::tTK_LogThread(std::shared_ptr<tTK_LogState> aState) : fState(std::move(aState)) {}

tTK_LogThread::~tTK_LogThread() { Stop(-1); }

void tTK_LogThread::Start() { fThread = std::thread(&tTK_LogThread::Execute, fState); }

void tTK_LogThread::SetHeld(bool aHeld) {
  tTK_LogState& s = *fState;
  std::unique_lock<std::mutex> guard(s.fHoldLock);
  s.fHeld = aHeld;
  s.fHoldChanged.notify_all();
  if (!aHeld || !fThread.joinable()) return;
  s.fHoldChanged.wait(guard, [&] {
    std::lock_guard<std::mutex> end(s.fEndLock);
    return s.fParked || s.fFinished;
  });
}

void tTK_LogThread::Stop(int aMaxWaitMs) {
  if (!fThread.joinable()) return;
  fState->fQueue.Shutdown();
  fState->fTerminated.store(true);
  SetHeld(false);
  if (aMaxWaitMs >= 0) {
    std::unique_lock<std::mutex> guard(fState->fEndLock);
    if (!fState->fEnded.wait_for(guard, std::chrono::milliseconds(aMaxWaitMs),
                                 [&] { return fState->fFinished; })) {
      // Still busy (a blocked disk, say). The thread owns a share of the state
      // it uses, so it may finish on its own after we are gone.
      guard.unlock();
      fThread.detach();
      return;
    }
  }
  fThread.join();
}

void tTK_LogThread::Execute(std::shared_ptr<tTK_LogState> aState) {
  tTK_LogState& s = *aState;
  for (;;) {
    {
      std::unique_lock<std::mutex> hold(s.fHoldLock);
      if (s.fHeld) {
        s.fParked = true;
        s.fHoldChanged.notify_all();
        s.fHoldChanged.wait(hold, [&] { return !s.fHeld; });
        s.fParked = false;
      }
    }
    std::string line;
    const tTK_LogQueue::PopResult result = s.fQueue.Pop(line);
    if (result == tTK_LogQueue::PopResult::Line) {
      s.WriteToFile(line);
      s.ReportDrops();
      continue;
    }
    if (result == tTK_LogQueue::PopResult::Timeout) s.ReportDrops();
    if (s.fQueue.IsShutdown() || s.fTerminated.load()) break;
  }
  {
    std::lock_guard<std::mutex> hold(s.fHoldLock);
    std::lock_guard<std::mutex> guard(s.fEndLock);
    s.fFinished = true;
  }
  s.fEnded.notify_all();
  s.fHoldChanged.notify_all();
}

// ---- writer ---------------------------------------------------------------

tTK_LogWriter::tTK_LogWriter(const std::string& aFileName, const std::string& aDirectory,
                             int32_t aMaxMessageLength, bool aDaily)
    : fGuid(platform::NewUuid()), fState(std::make_shared<tTK_LogState>()) {
  const std::string name =
      aDaily ? aFileName + "_" + FormatDate8(platform::Now()) + ".log" : aFileName + ".log";
  fState->SetFileName(platform::ExtractFileName(name));
  SetDirectory(aDirectory);
  fMaxMessageLength = aMaxMessageLength;
  fDaily = aDaily;
  fState->fMaxLogfileSize.store(kDefaultMaxLogfileSize);
  fThread = std::make_unique<tTK_LogThread>(fState);
  fThread->Start();
}

tTK_LogWriter::~tTK_LogWriter() {
  fClosing.store(1);
  if (fThread) fThread->Stop(fIsDLLFinalization ? kFinalizationWaitMs : -1);
  fThread.reset();
}

std::string tTK_LogWriter::Directory() const {
  std::lock_guard<std::mutex> guard(fDirectoryLock);
  return fDirectory;
}

void tTK_LogWriter::SetDirectory(const std::string& aDirectory) {
  const std::string fileName =
      platform::CombinePath(aDirectory, platform::ExtractFileName(fState->FileName()));
  {
    std::lock_guard<std::mutex> guard(fDirectoryLock);
    fDirectory = aDirectory;
  }
  fState->SetFileName(fileName);
  try {
    platform::ForceDirectories(aDirectory);  // raises for an empty name
  } catch (const platform::OsError&) {
    // Ignored: every line then fails to append, as it would without the folder.
  }
}

void tTK_LogWriter::SetFileName(const std::string& aFileName) {
  fState->SetFileName(platform::CombinePath(Directory(), platform::ExtractFileName(aFileName)));
}

void tTK_LogWriter::Write(tTK_MessageType aEntryType, const std::string& aMessage) {
  if (fClosing.load() != 0) return;
  if (fState->fFileNameEmpty.load()) throw Error("Log filename is empty");
  std::string line = FormatLogTimestamp(platform::Now());
  if (fShowInstanceGuid.load()) line += " - " + platform::FormatUuid(fGuid);
  line += aEntryType == let_error ? " - ERROR - " : " - ";
  if (fMaxMessageLength > 0)
    line += platform::Utf16Prefix(aMessage, static_cast<size_t>(fMaxMessageLength));
  else
    line += aMessage;
  if (!fState->fQueue.Push(std::move(line))) fState->fDroppedTotal.fetch_add(1);
}

}  // namespace korvane
