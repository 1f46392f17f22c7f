#include "base/log_writer.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "base/bounded_lock.h"
#include "helpers/utf.h"
#include "platform/error.h"
#include "platform/filesystem.h"
#include "platform/module_unload.h"

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

namespace {

constexpr size_t kStampSize = 23;  // "yyyy-mm-dd hh:mm:ss:zzz"

// Two digits at a time from a table: every logged line starts with a time
// stamp, made on the caller's thread.
constexpr char kPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// Writes "yyyy-mm-dd hh:mm:ss:zzz" to aOut (kStampSize characters); false,
// with nothing written, when a field does not fit its width.
bool WriteLogTimestamp(char* aOut, const platform::LocalTime& t) {
  const bool fits = t.year >= 0 && t.year <= 9999 && t.month >= 0 && t.month <= 99 && t.day >= 0 &&
                    t.day <= 99 && t.hour >= 0 && t.hour <= 99 && t.minute >= 0 && t.minute <= 99 &&
                    t.second >= 0 && t.second <= 99 && t.millisecond >= 0 && t.millisecond <= 999;
  if (!fits) return false;
  std::memcpy(aOut, "0000-00-00 00:00:00:000", kStampSize);
  auto pair = [aOut](size_t aAt, int aValue) { std::memcpy(aOut + aAt, kPairs + 2 * aValue, 2); };
  pair(0, t.year / 100);
  pair(2, t.year % 100);
  pair(5, t.month);
  pair(8, t.day);
  pair(11, t.hour);
  pair(14, t.minute);
  pair(17, t.second);
  aOut[20] = static_cast<char>('0' + t.millisecond / 100);
  pair(21, t.millisecond % 100);
  return true;
}

// The same; a second already in aStamp gives its text from there, and a new
// one is kept there.
bool WriteLogTimestamp(char* aOut, const platform::LocalTime& t, tTK_LogWriter::SecondStamp& aStamp) {
  tTK_LogWriter::SecondStamp& c = aStamp;
  if (t.second == c.second && t.minute == c.minute && t.hour == c.hour && t.day == c.day &&
      t.month == c.month && t.year == c.year && t.millisecond >= 0 && t.millisecond <= 999) {
    std::memcpy(aOut, c.text, sizeof c.text);
    aOut[19] = ':';
    aOut[20] = static_cast<char>('0' + t.millisecond / 100);
    std::memcpy(aOut + 21, kPairs + 2 * (t.millisecond % 100), 2);
    return true;
  }
  if (!WriteLogTimestamp(aOut, t)) return false;
  // Every field at its own width: the first 19 characters depend on the
  // fields to the second alone.
  std::memcpy(c.text, aOut, sizeof c.text);
  c.year = t.year;
  c.month = t.month;
  c.day = t.day;
  c.hour = t.hour;
  c.minute = t.minute;
  c.second = t.second;
  return true;
}

// Appends "yyyy-mm-dd hh:mm:ss:zzz" to aOut (fields too wide for theirs at
// their full width).
void AppendLogTimestamp(std::string& aOut, const platform::LocalTime& t) {
  char out[kStampSize];
  if (WriteLogTimestamp(out, t)) {
    aOut.append(out, sizeof out);
    return;
  }
  char buffer[96];
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d:%03d", t.year, t.month, t.day, t.hour,
                t.minute, t.second, t.millisecond);
  aOut += buffer;
}

}  // namespace

std::string FormatLogTimestamp(const platform::LocalTime& t) {
  std::string out;
  AppendLogTimestamp(out, t);
  return out;
}

// ---- queue ----------------------------------------------------------------

tTK_LogQueue::tTK_LogQueue(size_t aCapacity, int aPopTimeoutMs)
    : fCapacity(aCapacity), fPopTimeoutMs(aPopTimeoutMs) {}

void tTK_LogQueue::GrowLocked() {
  // Full: the lines in order from the first slot, then the new slots.
  std::rotate(fSlots.begin(), fSlots.begin() + static_cast<std::ptrdiff_t>(fHead), fSlots.end());
  fHead = 0;
  const size_t size = std::min(fCapacity, std::max(kFirstSlots, 2 * fSlots.size()));
  fSlots.reserve(size);
  while (fSlots.size() < size) fSlots.push_back(std::make_unique<std::string>());
}

bool tTK_LogQueue::Push(std::string aLine, bool* aStartConsumer) {
  bool wake = false;
  {
    std::lock_guard<std::mutex> guard(fLock);
    if (fShutdown) return true;
    if (fCount >= fCapacity) return false;
    NextSlotLocked() = std::move(aLine);
    wake = AddedLocked(aStartConsumer);
  }
  if (wake) fNotEmpty.notify_one();
  return true;
}

tTK_LogQueue::PopResult tTK_LogQueue::Pop(std::string& aLine) {
  std::unique_lock<std::mutex> guard(fLock);
  if (!fNotEmpty.wait_for(guard, std::chrono::milliseconds(fPopTimeoutMs),
                          [this] { return fCount != 0 || fShutdown; }))
    return PopResult::Timeout;
  if (fCount == 0) return PopResult::Empty;
  aLine = std::move(*SlotLocked(0));
  fHead = fHead + 1 == fSlots.size() ? 0 : fHead + 1;
  --fCount;
  return PopResult::Line;
}

size_t tTK_LogQueue::WaitForBatchLocked(std::unique_lock<std::mutex>& aGuard, size_t aMax, int aGatherMs,
                                        PopResult& aResult) {
  fBatchSize = aMax;
  if (!fNotEmpty.wait_for(aGuard, std::chrono::milliseconds(fPopTimeoutMs),
                          [this] { return fCount != 0 || fShutdown; })) {
    aResult = PopResult::Timeout;
    return 0;
  }
  if (fCount == 0) {
    aResult = PopResult::Empty;
    return 0;
  }
  if (aGatherMs > 0)
    fNotEmpty.wait_for(aGuard, std::chrono::milliseconds(aGatherMs),
                       [this, aMax] { return fCount >= aMax || fShutdown; });
  aResult = PopResult::Line;
  return std::min(aMax, fCount);
}

tTK_LogQueue::PopResult tTK_LogQueue::PopBatch(std::vector<std::string>& aLines, size_t aMax, int aGatherMs,
                                               std::vector<std::string>* aWritten) {
  std::unique_lock<std::mutex> guard(fLock);
  if (aWritten) {
    for (std::string& line : *aWritten) {
      if (fSpare.size() >= kSpareLines) break;
      if (line.capacity() > kSpareBytes) continue;
      line.clear();
      fSpare.push_back(std::make_unique<std::string>(std::move(line)));
    }
    aWritten->clear();
  }
  PopResult result;
  const size_t count = WaitForBatchLocked(guard, aMax, aGatherMs, result);
  for (size_t i = 0; i < count; ++i) aLines.push_back(std::move(*SlotLocked(i)));
  fHead = (fHead + count) % std::max<size_t>(fSlots.size(), 1);
  fCount -= count;
  return result;
}

tTK_LogQueue::PopResult tTK_LogQueue::PopBatchReusing(Lines& aLines, size_t aMax, int aGatherMs) {
  // A string grown large goes (before the lock).
  for (Line& line : aLines)
    if (line->capacity() > kSpareBytes) std::string().swap(*line);
  Lines shrunk;  // the slots of a ring grown by a burst, freed after the lock
  size_t count = 0;
  const size_t done = aLines.size();
  PopResult result;
  {
    std::unique_lock<std::mutex> guard(fLock);
    count = WaitForBatchLocked(guard, aMax, aGatherMs, result);
    if (count == 0) return result;
    if (done < count) {
      // (strings kept spare first: a string of no room gives its slot none)
      aLines.reserve(count);
      while (aLines.size() < count && !fSpare.empty()) {
        aLines.push_back(std::move(fSpare.back()));
        fSpare.pop_back();
      }
      while (aLines.size() < count) aLines.push_back(std::make_unique<std::string>());
    }
    // Each line taken leaves its slot a string of a line done with.
    size_t at = fHead;
    for (size_t i = 0; i < count; ++i) {
      aLines[i].swap(fSlots[at]);
      if (++at == fSlots.size()) at = 0;
    }
    fHead = at;
    fCount -= count;
    // Those left over are kept as spares.
    for (size_t i = count; i < done && fSpare.size() < kKeptSpares; ++i)
      fSpare.push_back(std::move(aLines[i]));
    if (fCount == 0 && fSlots.size() > kKeptSlots) {
      shrunk.swap(fSlots);
      fSlots.reserve(kKeptSlots);
      std::move(shrunk.begin(), shrunk.begin() + static_cast<std::ptrdiff_t>(kKeptSlots),
                std::back_inserter(fSlots));
      fHead = 0;
    }
  }
  if (done > count) aLines.resize(count);
  return result;
}

void tTK_LogQueue::Shutdown() {
  {
    std::lock_guard<std::mutex> guard(fLock);
    fShutdown = true;
  }
  fNotEmpty.notify_all();
}

bool tTK_LogQueue::TryShutdown(int aMaxWaitMs) {
  std::unique_lock<std::mutex> guard(fLock, std::defer_lock);
  if (!LockWithin(guard, std::chrono::milliseconds(aMaxWaitMs))) return false;
  fShutdown = true;
  guard.unlock();
  fNotEmpty.notify_all();
  return true;
}

bool tTK_LogQueue::TakeRest(std::vector<std::string>& aLines, int aMaxWaitMs) {
  std::unique_lock<std::mutex> guard(fLock, std::defer_lock);
  if (!LockWithin(guard, std::chrono::milliseconds(aMaxWaitMs))) return false;
  fShutdown = true;
  for (size_t i = 0; i < fCount; ++i) aLines.push_back(std::move(*SlotLocked(i)));
  fHead = 0;
  fCount = 0;
  // Nobody waits to be woken (the log thread is gone); and a thread the
  // system stopped inside the condition's own bookkeeping would leave a
  // notification spinning for ever.
  return true;
}

bool tTK_LogQueue::IsShutdown() const {
  std::lock_guard<std::mutex> guard(fLock);
  return fShutdown;
}

size_t tTK_LogQueue::Count() const {
  std::lock_guard<std::mutex> guard(fLock);
  return fCount;
}

bool tTK_LogQueue::ClaimConsumer() {
  std::lock_guard<std::mutex> guard(fLock);
  if (fConsumer) return false;
  fConsumer = true;
  return true;
}

bool tTK_LogQueue::ReleaseConsumer() {
  std::lock_guard<std::mutex> guard(fLock);
  if (fCount != 0 || fShutdown) return false;
  fConsumer = false;
  return true;
}

void tTK_LogQueue::DropConsumer() {
  std::lock_guard<std::mutex> guard(fLock);
  fConsumer = false;
}

bool tTK_LogQueue::HasConsumer() const {
  std::lock_guard<std::mutex> guard(fLock);
  return fConsumer;
}

// ---- shared state ---------------------------------------------------------

tTK_LogState::tTK_LogState()
    : fQueue(kQueueCapacity, kPopTimeoutMs), fLastDropReportTick(platform::TickCount()) {
  MarkProgress();
}

namespace {
// Held only while a name is copied or set; a lock that is not had within
// this belongs to a thread the system stopped.
constexpr auto kNameLockWait = std::chrono::milliseconds(200);
}  // namespace

std::string tTK_LogState::FileName() const {
  // (no name: appending to it fails, and the lines count as dropped)
  std::unique_lock<std::mutex> guard(fNameLock, std::try_to_lock);
  return guard.owns_lock() || LockWithin(guard, kNameLockWait) ? fFileName : std::string();
}

std::string tTK_LogState::Directory() const {
  std::unique_lock<std::mutex> guard(fNameLock, std::defer_lock);
  return LockWithin(guard, kNameLockWait) ? fDirectory : std::string();
}

void tTK_LogState::SetFileName(std::string aFileName) {
  std::lock_guard<std::mutex> guard(fNameLock);
  fFileNameEmpty.store(aFileName.empty());
  fFileName = std::move(aFileName);
  fNameChanges.fetch_add(1);
}

void tTK_LogState::RefreshFileName(std::string& aName, uint64_t& aSeen) const {
  if (fNameChanges.load() == aSeen) return;
  // (no name when the lock cannot be had, as FileName; taken again next time)
  std::unique_lock<std::mutex> guard(fNameLock, std::try_to_lock);
  if (guard.owns_lock() || LockWithin(guard, kNameLockWait)) {
    aName = fFileName;
    aSeen = fNameChanges.load();
  } else {
    aName.clear();
    aSeen = UINT64_MAX;
  }
}

const std::string& tTK_LogState::LogThreadFileName() {
  RefreshFileName(fLogThreadFileName, fLogThreadNameChanges);
  return fLogThreadFileName;
}

void tTK_LogState::SetLocation(std::string aDirectory, std::string aFileName) {
  std::lock_guard<std::mutex> guard(fNameLock);
  fFileNameEmpty.store(aFileName.empty());
  fDirectory = std::move(aDirectory);
  fFileName = std::move(aFileName);
  fNameChanges.fetch_add(1);
}

void tTK_LogState::SetLastLine(std::string aLine) {
  std::lock_guard<std::mutex> guard(fLastLineLock);
  fLastLine = std::move(aLine);
  fHasLastLine = true;
}

bool tTK_LogState::TakeLastLine(std::string& aLine) {
  std::unique_lock<std::mutex> guard(fLastLineLock, std::defer_lock);
  if (!LockWithin(guard, kNameLockWait) || !fHasLastLine) return false;
  aLine = std::move(fLastLine);
  fHasLastLine = false;
  return true;
}

int64_t tTK_LogState::GetLogFileSize() const { return platform::FileSize(FileName()); }

void tTK_LogState::MarkProgress() {
  fProgressAt.store(std::chrono::steady_clock::now().time_since_epoch().count());
}

bool tTK_LogState::Oversize(int64_t aSize) const {
  return aSize > static_cast<int64_t>(fMaxLogfileSize.load()) * 1024;
}

void tTK_LogState::RotateIfOversize(const std::string& aFileName) {
  if (!Oversize(platform::FileSize(aFileName))) return;
  const std::string rotated =
      platform::ChangeFileExt(aFileName, "") + "_" + FormatStamp17(platform::Now()) + ".log";
  try {
    platform::RenameFile(aFileName, rotated);
  } catch (const platform::OsError&) {
    // Ignored: we go on appending.
  }
}

bool tTK_LogState::AppendLine(const std::string& aLine, int aAttempts) {
  const std::string fileName = FileName();
  if (CheckLogfileSize()) RotateIfOversize(fileName);
  return AppendData(fileName, aLine + "\r\n", 1, aAttempts);
}

bool tTK_LogState::AppendData(const std::string& aFileName, std::string_view aData, uint64_t aLineCount,
                              int aAttempts) {
  for (int attempt = 1;; ++attempt) {
    try {
      platform::AppendToFile(aFileName, aData);
      fCounter.fetch_add(aLineCount);
      fFailing = false;
      fFolderMade = false;
      MarkProgress();
      return true;
    } catch (const platform::OsError&) {
      // Another writer holds the file, or the disk failed: tried again.
    }
    MarkProgress();
    if (!fFolderMade) {
      // The log folder may have vanished under us: it is made again, once
      // while the log keeps failing, and the data tried again at once.
      const std::string directory = Directory();
      if (!directory.empty() && !platform::DirectoryExists(directory)) {
        fFolderMade = true;
        try {
          platform::ForceDirectories(directory);
          --attempt;
          continue;
        } catch (const Error&) {
          // A file in its way, or no room: the data fails like any other.
        }
      }
    }
    if (attempt >= aAttempts) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(kRetryDelayMs));
  }
}

void tTK_LogState::StartFailing() {
  fFailing = true;
  fLastProbe = std::chrono::steady_clock::now();
}

void tTK_LogState::StartProbe() {
  fLastProbe = std::chrono::steady_clock::now();
  fFolderMade = false;  // a probe may make the folder again
}

bool tTK_LogState::ProbeDue() const {
  return std::chrono::steady_clock::now() - fLastProbe >= std::chrono::milliseconds(kProbeIntervalMs);
}

bool tTK_LogState::WriteDropReport(int aAttempts) {
  const int64_t total = fDroppedTotal.load();
  if (total <= fDroppedLastReported) return true;
  const int64_t count = total - fDroppedLastReported;
  const std::string line = FormatLogTimestamp(platform::Now()) + " - WARN - Log backpressure: dropped " +
                           std::to_string(count) + " lines (total=" + std::to_string(total) + ").";
  if (!AppendLine(line, aAttempts)) return false;
  fDroppedLastReported = total;
  fLastDropReportTick = platform::TickCount();
  return true;
}

void tTK_LogState::WriteQueuedLine(const std::string& aLine) {
  if (fFailing) {
    // No attempt for this line unless a probe is due; the probe is the report
    // of what was lost, so that it is the first line after the gap.
    if (!ProbeDue()) {
      fDroppedTotal.fetch_add(1);
      return;
    }
    StartProbe();
    if (!WriteDropReport(1)) {
      fDroppedTotal.fetch_add(1);
      return;
    }
  }
  if (!AppendLine(aLine, fFailing ? 1 : kAppendAttempts)) {
    fDroppedTotal.fetch_add(1);
    StartFailing();
  }
}

namespace {
const std::string& LineText(const std::string& aLine) { return aLine; }
const std::string& LineText(const tTK_LogQueue::Line& aLine) { return *aLine; }
}  // namespace

void tTK_LogState::WriteQueuedLines(const std::vector<std::string>& aLines, bool aOnLogThread) {
  WriteLines(aLines, aOnLogThread);
}

void tTK_LogState::WriteQueuedLines(const tTK_LogQueue::Lines& aLines, bool aOnLogThread) {
  WriteLines(aLines, aOnLogThread);
}

template <class TLines>
void tTK_LogState::WriteLines(const TLines& aLines, bool aOnLogThread) {
  if (aLines.size() == 1) return WriteQueuedLine(LineText(aLines.front()));
  const int64_t count = static_cast<int64_t>(aLines.size());
  if (fFailing) {
    // As for one line: no attempt unless a probe is due, and the report of
    // what was lost goes first.
    if (!ProbeDue()) {
      fDroppedTotal.fetch_add(count);
      return;
    }
    StartProbe();
    if (!WriteDropReport(1)) {
      fDroppedTotal.fetch_add(count);
      return;
    }
  }
  const int attempts = fFailing ? 1 : kAppendAttempts;
  std::string otherThreadName;
  const std::string& fileName = aOnLogThread ? LogThreadFileName() : (otherThreadName = FileName());
  // The batch's text; on the log thread in a buffer kept for the next batch
  // (unless it grew large). (Elsewhere a buffer of its own: at the end of
  // the process the log thread may have been stopped half-way through
  // changing the kept one.)
  std::string local;
  std::string& data = aOnLogThread ? fBatchData : local;
  struct DropLarge {
    std::string& data;
    ~DropLarge() {
      if (data.capacity() > kKeptBatchBytes) std::string().swap(data);
    }
  } dropLarge{data};
  size_t bytes = 0;
  for (const auto& line : aLines) bytes += LineText(line).size() + 2;
  // (written from the start: what lies beyond is never read, and a kept
  // buffer is not filled again)
  if (data.size() < bytes) data.resize(bytes);
  char* const out = data.data();
  size_t used = 0;
  // The lines in data, and the counter's value when data reaches the file.
  uint64_t pending = 0;
  const uint64_t counter = fCounter.load();
  int64_t written = 0;
  // The line before which the size is checked next: the one that makes the
  // counter a multiple of 20 (every line before it is pending or written).
  size_t check = static_cast<size_t>((20 - counter % 20) % 20);
  const size_t lineCount = aLines.size();
  for (size_t i = 0; i < lineCount; ++i) {
    if (i == check) {
      check += 20;
      // The check a line written on its own would have had: the size counts
      // the lines still pending, and they go first when a rotation is due.
      if (pending == 0) {
        RotateIfOversize(fileName);
      } else if (Oversize(std::max<int64_t>(platform::FileSize(fileName), 0) + static_cast<int64_t>(used))) {
        if (!AppendData(fileName, std::string_view(out, used), pending, attempts)) break;
        written += static_cast<int64_t>(pending);
        pending = 0;
        used = 0;
        RotateIfOversize(fileName);
      }
    }
    const std::string& line = LineText(aLines[i]);
    std::memcpy(out + used, line.data(), line.size());
    used += line.size();
    out[used] = '\r';
    out[used + 1] = '\n';
    used += 2;
    ++pending;
  }
  if (pending == static_cast<uint64_t>(count - written) &&
      AppendData(fileName, std::string_view(out, used), pending, attempts))
    return;
  fDroppedTotal.fetch_add(count - written);
  StartFailing();
}

bool tTK_LogState::EndsWithLines(const tTK_LogQueue::Lines& aLines) const {
  std::string data;
  for (const tTK_LogQueue::Line& line : aLines) {
    data += *line;
    data += "\r\n";
  }
  try {
    const std::string file = platform::ReadFileBytes(FileName());
    return file.size() >= data.size() && file.compare(file.size() - data.size(), data.size(), data) == 0;
  } catch (const std::exception&) {
    return false;
  }
}

void tTK_LogState::ReportDrops() {
  if (fFailing) {
    // Idle while failing: the report is the probe.
    if (!ProbeDue()) return;
    StartProbe();
    WriteDropReport(1);
    return;
  }
  const uint32_t now = platform::TickCount();
  if (static_cast<uint32_t>(now - fLastDropReportTick) < kDropReportIntervalMs) return;
  fLastDropReportTick = now;
  if (!WriteDropReport(kAppendAttempts)) StartFailing();
}

bool tTK_LogState::MayEnd(int64_t aIdleMs) const {
  return aIdleMs >= (fDroppedTotal.load() <= fDroppedLastReported ? kIdleEndMs : kIdleEndReportDueMs);
}

void tTK_LogState::Finish() {
  std::string last;
  const bool hasLast = TakeLastLine(last);
  // One attempt each while failing: the disk may be back, and the drops are
  // reported before the last line or the last line is counted with them.
  const int attempts = fFailing ? 1 : kAppendAttempts;
  if (!WriteDropReport(attempts)) {
    if (hasLast) fDroppedTotal.fetch_add(1);
  } else if (hasLast && !AppendLine(last, attempts)) {
    fDroppedTotal.fetch_add(1);
  }
  MarkProgress();
}

// ---- thread ---------------------------------------------------------------

tTK_LogThread::tTK_LogThread(std::shared_ptr<tTK_LogState> aState) : fState(std::move(aState)) {}

tTK_LogThread::~tTK_LogThread() { Stop(-1); }

void tTK_LogThread::StartRun() {
  std::lock_guard<std::mutex> guard(fStartLock);
  StartRunLocked();
}

void tTK_LogThread::StartRunLocked() {
  if (platform::CurrentModuleUnload() != platform::ModuleUnload::None) {
    // No thread can start while the module goes: Stop writes the lines.
    fState->fQueue.DropConsumer();
    return;
  }
  // The run before has given the queue up and only had to return: runs
  // never overlap.
  if (!fRun.Join(tTK_LogState::kRunJoinMs)) fRun.Detach();
  try {
    fRun.Start([state = fState] { Execute(state); });
  } catch (const Error&) {
    fState->fQueue.DropConsumer();
  }
}

void tTK_LogThread::SetHeld(bool aHeld) {
  tTK_LogState& s = *fState;
  std::unique_lock<std::mutex> guard(s.fHoldLock);
  s.fHeld = aHeld;
  s.fHoldChanged.notify_all();
  if (!aHeld) return;
  s.fHoldChanged.wait(guard, [&] {
    std::lock_guard<std::mutex> end(s.fEndLock);
    return s.fParked || s.fFinished || !s.fQueue.HasConsumer();
  });
}

void tTK_LogThread::Stop(int aMaxWaitMs) {
  if (fStopped) return;
  fStopped = true;
  if (platform::CurrentModuleUnload() != platform::ModuleUnload::None) return FinishHere();
  using Clock = std::chrono::steady_clock;
  tTK_LogState& s = *fState;
  s.fQueue.Shutdown();
  s.fTerminated.store(true);
  SetHeld(false);
  bool noRun = false;
  {
    // A run writes what is left and the last line; one is started when none
    // is going. Where none can be, it is done here.
    std::lock_guard<std::mutex> guard(fStartLock);
    if (s.fQueue.ClaimConsumer()) {
      StartRunLocked();
      noRun = !s.fQueue.HasConsumer();  // (a run keeps the role once the queue is shut down)
    }
  }
  if (noRun) return FinishHere();
  const Clock::time_point start = Clock::now();
  const Clock::duration stall = std::chrono::milliseconds(tTK_LogState::kStopStallMs);
  {
    std::unique_lock<std::mutex> guard(s.fEndLock);
    while (!s.fFinished) {
      const Clock::time_point now = Clock::now();
      const Clock::time_point progress =
          std::max(start, Clock::time_point(Clock::duration(s.fProgressAt.load())));
      Clock::time_point giveUp = progress + stall;
      if (aMaxWaitMs >= 0) giveUp = std::min(giveUp, start + std::chrono::milliseconds(aMaxWaitMs));
      if (now >= giveUp) {
        // Still busy (a blocked disk, say). The run owns a share of the
        // state it uses, and of the module, so it may finish on its own after
        // we are gone.
        guard.unlock();
        std::lock_guard<std::mutex> starting(fStartLock);
        fRun.Detach();
        return;
      }
      s.fEnded.wait_until(guard, std::min(giveUp, now + std::chrono::milliseconds(100)));
    }
  }
  // Finished is set as the run's last step, so this join is short.
  std::lock_guard<std::mutex> starting(fStartLock);
  if (!fRun.Join(tTK_LogState::kRunJoinMs)) fRun.Detach();
}

void tTK_LogThread::ReleaseHoldIfFree() {
  // (tests hold the thread; without waiting, as the holder may be stopped,
  // and without a notification when nothing is held: a thread the system
  // stopped inside the condition's own bookkeeping would leave it spinning)
  tTK_LogState& s = *fState;
  std::unique_lock<std::mutex> hold(s.fHoldLock, std::try_to_lock);
  if (!hold.owns_lock() || !s.fHeld) return;
  s.fHeld = false;
  hold.unlock();
  s.fHoldChanged.notify_all();
}

void tTK_LogThread::FinishHere() {
  // No run of the thread goes on (see Stop); what is left in the queue is
  // written here, without its lock if that cannot be had soon.
  tTK_LogState& s = *fState;
  constexpr int kQueueLockWaitMs = 200;
  std::vector<std::string> lines;
  s.fTerminated.store(true);
  {
    // The lines a stopped run was appending go first, unless they reached
    // the file.
    std::unique_lock<std::mutex> guard(s.fInFlightLock, std::defer_lock);
    if (LockWithin(guard, std::chrono::milliseconds(kQueueLockWaitMs)) && !s.fInFlight.empty() &&
        !s.EndsWithLines(s.fInFlight)) {
      for (tTK_LogQueue::Line& line : s.fInFlight) lines.push_back(std::move(*line));
      s.fInFlight.clear();
    }
  }
  // (a queue whose lock a stopped thread holds is given up, not what came before it)
  static_cast<void>(s.fQueue.TakeRest(lines, kQueueLockWaitMs));
  for (size_t at = 0; at < lines.size(); at += tTK_LogState::kBatchLines) {
    const size_t end = std::min(lines.size(), at + tTK_LogState::kBatchLines);
    s.WriteQueuedLines(
        std::vector<std::string>(std::make_move_iterator(lines.begin() + static_cast<ptrdiff_t>(at)),
                                 std::make_move_iterator(lines.begin() + static_cast<ptrdiff_t>(end))));
  }
  s.Finish();
  // A run that is in fact still there (held by a test) is let go; it finds
  // the queue empty and ends.
  ReleaseHoldIfFree();
  if (platform::CurrentModuleUnload() == platform::ModuleUnload::ProcessEnd) {
    // The state stays for the little that is left of the process: a thread
    // the system stopped inside a condition's own bookkeeping would leave
    // destroying that condition spinning for ever.
    static auto* const kept = new std::vector<std::shared_ptr<tTK_LogState>>();
    kept->push_back(fState);
  }
  std::unique_lock<std::mutex> starting(fStartLock, std::try_to_lock);
  if (starting.owns_lock()) fRun.Detach();
}

void tTK_LogThread::Execute(std::shared_ptr<tTK_LogState> aState) {
  using Clock = std::chrono::steady_clock;
  tTK_LogState& s = *aState;
  // The lines of a batch; once written, their strings go back to the queue
  // for the next lines.
  tTK_LogQueue::Lines lines;
  Clock::time_point lastLine = Clock::now();
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
    const tTK_LogQueue::PopResult result =
        s.fQueue.PopBatchReusing(lines, tTK_LogState::kBatchLines, tTK_LogState::kGatherMs);
    s.MarkProgress();
    if (result == tTK_LogQueue::PopResult::Line) {
      {
        std::lock_guard<std::mutex> guard(s.fInFlightLock);
        s.fInFlight.swap(lines);
      }
      s.WriteQueuedLines(s.fInFlight, true);  // only this thread changes it
      {
        std::lock_guard<std::mutex> guard(s.fInFlightLock);
        s.fInFlight.swap(lines);
      }
      s.ReportDrops();
      s.MarkProgress();
      lastLine = Clock::now();
      continue;
    }
    if (result == tTK_LogQueue::PopResult::Timeout) {
      s.ReportDrops();
      const int64_t idleMs =
          std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - lastLine).count();
      if (s.MayEnd(idleMs) && s.fQueue.ReleaseConsumer()) {
        // Idle: this run is over; the next line starts another. (Those
        // waiting to hold the thread see it gone.)
        { std::lock_guard<std::mutex> hold(s.fHoldLock); }
        s.fHoldChanged.notify_all();
        return;
      }
    }
    if (s.fQueue.IsShutdown() || s.fTerminated.load()) break;
  }
  s.Finish();
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
    : fGuid(platform::NewUuid()),
      fGuidText(" - " + platform::FormatUuid(fGuid)),
      fState(std::make_shared<tTK_LogState>()) {
  const std::string name =
      aDaily ? aFileName + "_" + FormatDate8(platform::Now()) + ".log" : aFileName + ".log";
  fState->SetFileName(platform::ExtractFileName(name));
  SetDirectory(aDirectory);
  fMaxMessageLength = aMaxMessageLength;
  fDaily = aDaily;
  fState->fMaxLogfileSize.store(kDefaultMaxLogfileSize);
  fThread = std::make_unique<tTK_LogThread>(fState);
}

tTK_LogWriter::~tTK_LogWriter() {
  fClosing.store(1);
  if (fThread) fThread->Stop(fIsDLLFinalization ? kFinalizationWaitMs : -1);
  fThread.reset();
}

std::string tTK_LogWriter::Directory() const { return fState->Directory(); }

void tTK_LogWriter::SetDirectory(const std::string& aDirectory) {
  std::string fileName = platform::CombinePath(aDirectory, platform::ExtractFileName(fState->FileName()));
  fState->SetLocation(aDirectory, std::move(fileName));
  try {
    platform::ForceDirectories(aDirectory);  // raises for an empty name
  } catch (const platform::OsError&) {
    // Ignored: every line then fails to append, as it would without the folder.
  }
}

void tTK_LogWriter::SetFileName(const std::string& aFileName) {
  fState->SetFileName(platform::CombinePath(Directory(), platform::ExtractFileName(aFileName)));
}

size_t tTK_LogWriter::LineSize(std::string_view aMessage) const {
  return 23 + (fShowInstanceGuid.load() ? 3 + 38 : 0) + 11 + aMessage.size();
}

void tTK_LogWriter::AppendLine(std::string& aLine, tTK_MessageType aEntryType, std::string_view aMessage,
                               LineCache* aCache) const {
  const platform::LocalTime t = aCache ? platform::Now(aCache->now) : platform::Now();
  static constexpr char kInfo[] = " - ";
  static constexpr char kError[] = " - ERROR - ";
  // The usual line: the time stamp and what follows it up to the message,
  // appended at once (as many characters as the entry type gives).
  char head[kStampSize + sizeof kError - 1];
  if (!(aCache ? WriteLogTimestamp(head, t, aCache->stamp) : WriteLogTimestamp(head, t))) {
    AppendLogTimestamp(aLine, t);
    if (fShowInstanceGuid.load()) aLine += fGuidText;
    aLine += aEntryType == let_error ? kError : kInfo;
  } else if (fShowInstanceGuid.load()) {
    aLine.append(head, kStampSize);
    aLine += fGuidText;
    aLine += aEntryType == let_error ? kError : kInfo;
  } else if (aEntryType == let_error) {
    std::memcpy(head + kStampSize, kError, sizeof kError - 1);
    aLine.append(head, kStampSize + sizeof kError - 1);
  } else {
    std::memcpy(head + kStampSize, kInfo, sizeof kInfo - 1);
    aLine.append(head, kStampSize + sizeof kInfo - 1);
  }
  if (fMaxMessageLength > 0)
    aLine += platform::Utf16Prefix(aMessage, static_cast<size_t>(fMaxMessageLength));
  else
    aLine += aMessage;
}

std::string tTK_LogWriter::FormatLine(tTK_MessageType aEntryType, std::string_view aMessage) const {
  if (fState->fFileNameEmpty.load()) throw Error("Log filename is empty");
  std::string line;
  line.reserve(LineSize(aMessage));
  AppendLine(line, aEntryType, aMessage, nullptr);
  return line;
}

void tTK_LogWriter::Write(tTK_MessageType aEntryType, std::string_view aMessage) {
  if (fClosing.load() != 0) return;
  if (fState->fFileNameEmpty.load()) throw Error("Log filename is empty");
  bool startRun = false;
  // Written straight into the queue: this runs on the caller's thread for
  // every line.
  if (!fState->fQueue.PushWritten(
          LineSize(aMessage), [&](std::string& aLine) { AppendLine(aLine, aEntryType, aMessage, &fCache); },
          &startRun))
    fState->fDroppedTotal.fetch_add(1);
  if (startRun) fThread->StartRun();
}

void tTK_LogWriter::WriteLast(tTK_MessageType aEntryType, std::string_view aMessage) {
  if (fClosing.load() != 0) return;
  std::string line = FormatLine(aEntryType, aMessage);
  if (fClosing.exchange(1) != 0) return;
  fState->SetLastLine(std::move(line));
}

}  // namespace korvane
