// The log writer: appends time-stamped lines to one log file. Callers on any
// thread hand it lines without waiting for the disk; one background thread per
// writer does all the file work.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "base/shared_types.h"
#include "platform/clock.h"
#include "platform/module_thread.h"
#include "platform/uuid.h"

namespace korvane {

// A first-in first-out queue of lines with a fixed capacity. A push into a
// full queue fails at once; a pop waits up to its time-out. Once shut down, a
// push adds nothing and still succeeds, and a pop hands out what is left and
// then returns at once with no line. A push wakes a waiting pop only when it
// makes the queue non-empty or brings it to a batch's size: a batch being
// gathered is not woken for every line.
// The queue also knows whether a consumer takes its lines: a push that finds
// none claims that role for its caller, who is then to start one; the
// consumer gives the role up once idle, in the same step as it finds the
// queue empty, so that no line is ever left without one.
class tTK_LogQueue {
 public:
  enum class PopResult { Line, Empty, Timeout };
  // A line as the queue holds it: a string of its own that goes to the log
  // thread and back without being moved.
  using Line = std::unique_ptr<std::string>;
  using Lines = std::vector<Line>;

  tTK_LogQueue(size_t aCapacity, int aPopTimeoutMs);
  // Adds aLine. With aStartConsumer, it is set when the queue had no
  // consumer: the caller now holds that role and is to start one.
  bool Push(std::string aLine, bool* aStartConsumer = nullptr);
  // Adds the line aWrite(std::string&) writes, like Push, into a string
  // the queue kept from lines already written (room for aSize taken), under
  // the queue's lock: a line costs no allocation of its own. aWrite runs only
  // when the line is added.
  template <class TWrite>
  bool PushWritten(size_t aSize, TWrite&& aWrite, bool* aStartConsumer = nullptr);
  PopResult Pop(std::string& aLine);
  // Waits like Pop; once a line is there, waits up to aGatherMs more while
  // fewer than aMax are queued (not once shut down), then moves up to aMax
  // queued lines, oldest first, to the end of aLines; Line when it moved any.
  // aWritten, if given, holds lines the caller is done with: the queue
  // keeps some of their strings for PushWritten and empties it.
  PopResult PopBatch(std::vector<std::string>& aLines, size_t aMax, int aGatherMs,
                     std::vector<std::string>* aWritten = nullptr);
  // The same for a caller that hands back the lines of its last batch, done
  // with: aLines holds them, and on Line exactly the lines taken instead
  // (otherwise it is left as it was). Their strings hold the next lines
  // pushed, but for those grown over kSpareBytes: a line costs no
  // allocation, nor a copy, in the steady state.
  PopResult PopBatchReusing(Lines& aLines, size_t aMax, int aGatherMs);
  void Shutdown();
  // Shuts the queue down and moves every queued line to the end of aLines,
  // for a thread other than the log thread when that thread is gone (it
  // wakes no one). Waits
  // at most aMaxWaitMs for the queue's lock (a thread stopped by the system
  // may have held it); false, with nothing moved, when it did not get it.
  bool TakeRest(std::vector<std::string>& aLines, int aMaxWaitMs);
  // Shuts the queue down if its lock can be had within aMaxWaitMs.
  bool TryShutdown(int aMaxWaitMs);
  bool IsShutdown() const;
  size_t Count() const;

  // Claims the consumer's role when nobody holds it; true when claimed.
  bool ClaimConsumer();
  // Gives the role up, on the consumer, unless lines are queued or the queue
  // is shut down (which the consumer sees through to the end); true when
  // given up.
  bool ReleaseConsumer();
  // Gives the role up whatever is queued: a consumer could not be started.
  void DropConsumer();
  bool HasConsumer() const;

  // The strings of lines handed to PopBatch kept for PushWritten: at most
  // this many. No string over this size is kept, for either pop.
  static constexpr size_t kSpareLines = 32;
  static constexpr size_t kSpareBytes = 4096;
  // The queued lines are a ring of strings that keep their room from line
  // to line. It starts with this many and doubles when full (up to the
  // capacity); one grown over kKeptSlots by a burst of lines goes back to
  // that many once the burst is taken.
  static constexpr size_t kFirstSlots = 8;
  static constexpr size_t kKeptSlots = 1024;
  // Strings of a batch handed back beyond the lines taken are kept as
  // spares, up to this many, for the batches that take more.
  static constexpr size_t kKeptSpares = 256;

 private:
  // The string the next line is written into (under the lock, the queue
  // not full): a spare one when the slot's holds no room of its own.
  std::string& NextSlotLocked();
  // Counts the line now in NextSlotLocked(); true when a waiting pop is to
  // be woken.
  bool AddedLocked(bool* aStartConsumer);
  void GrowLocked();
  // Waits for lines as PopBatch does; the number to take (0: none).
  size_t WaitForBatchLocked(std::unique_lock<std::mutex>& aGuard, size_t aMax, int aGatherMs,
                            PopResult& aResult);
  Line& SlotLocked(size_t aIndex) {  // the aIndex-th queued line
    const size_t at = fHead + aIndex;
    return fSlots[at < fSlots.size() ? at : at - fSlots.size()];
  }

  const size_t fCapacity;
  const int fPopTimeoutMs;
  mutable std::mutex fLock;
  std::condition_variable fNotEmpty;
  Lines fSlots;           // (never null)
  size_t fHead = 0;       // the slot of the oldest queued line
  size_t fCount = 0;      // lines queued, from fHead on
  size_t fBatchSize = 0;  // of the last PopBatch: a push reaching it wakes the gathering
  bool fShutdown = false;
  bool fConsumer = false;
  Lines fSpare;  // (never null)
};

inline std::string& tTK_LogQueue::NextSlotLocked() {
  if (fCount == fSlots.size()) GrowLocked();
  Line& slot = SlotLocked(fCount);
  // (a string of no room of its own: one never written, or whose line was
  // moved out)
  if (!fSpare.empty() && slot->capacity() <= std::string().capacity()) {
    slot.swap(fSpare.back());
    fSpare.pop_back();
  }
  return *slot;
}

inline bool tTK_LogQueue::AddedLocked(bool* aStartConsumer) {
  ++fCount;
  if (aStartConsumer != nullptr && !fConsumer) {
    fConsumer = true;
    *aStartConsumer = true;
  }
  return fCount == 1 || fCount == fBatchSize;
}

template <class TWrite>
bool tTK_LogQueue::PushWritten(size_t aSize, TWrite&& aWrite, bool* aStartConsumer) {
  bool wake = false;
  {
    std::lock_guard<std::mutex> guard(fLock);
    if (fShutdown) return true;
    if (fCount >= fCapacity) return false;
    std::string& line = NextSlotLocked();
    line.clear();
    line.reserve(aSize);
    aWrite(line);  // (a line that throws half-way is not counted: the next one overwrites it)
    wake = AddedLocked(aStartConsumer);
  }
  if (wake) fNotEmpty.notify_one();
  return true;
}

// Everything the log thread touches. The writer and its thread share it, so
// that a thread still running after its writer was destroyed (possible when
// the disk blocks, or the library is unloaded) never touches freed memory.
//
// When a line cannot be written after all its attempts, the log is failing:
// from then on lines are dropped and counted without an attempt, except for
// one probe attempt at most every kProbeIntervalMs, until a write succeeds.
// A vanished log folder is made again once when a line first fails, and once
// at each probe, never in a loop. The first line written after a failing
// stretch is the report of the lines lost.
struct tTK_LogState {
  static constexpr size_t kQueueCapacity = 20000;
  static constexpr int kPopTimeoutMs = 300;
  static constexpr int kAppendAttempts = 11;
  static constexpr int kRetryDelayMs = 50;
  static constexpr uint32_t kDropReportIntervalMs = 5000;
  static constexpr int kProbeIntervalMs = 1000;
  // Stopping gives up on a thread that has got on with nothing for this long.
  static constexpr int kStopStallMs = 2000;
  // The thread ends once it has had no line for this long (and no report of
  // drops is due), and a later line starts it again: an idle library holds
  // no thread, and a host that unloads it gets it unloaded.
  static constexpr int kIdleEndMs = 500;
  static constexpr int kIdleEndReportDueMs = 10000;
  // A thread that has given the queue up is over within this (it only has
  // to return).
  static constexpr int kRunJoinMs = 2000;
  // The log thread appends the lines it finds queued together, in one open,
  // lock, write and close, up to this many at a time.
  static constexpr size_t kBatchLines = 1024;
  // Woken by a line, the log thread lets the lines of the next moments join
  // it for this long (less when a batch is full or the queue shut down), so
  // that a caller logging line after line does not wake it for every line.
  static constexpr int kGatherMs = 2;

  tTK_LogState();

  std::string FileName() const;
  // The file name into aName when it changed since aSeen (what this gave
  // before, or UINT64_MAX), which it then updates: for a caller that keeps
  // the name and asks for it often.
  void RefreshFileName(std::string& aName, uint64_t& aSeen) const;
  std::string Directory() const;
  void SetFileName(std::string aFileName);
  // The log folder and the full file name in it, changed together.
  void SetLocation(std::string aDirectory, std::string aFileName);

  // The line written after every queued line; set once, before the queue is
  // shut down.
  void SetLastLine(std::string aLine);
  bool TakeLastLine(std::string& aLine);

  // File work, on the log thread only.
  bool CheckLogfileSize() const { return fCounter.load() % 20 == 0; }
  int64_t GetLogFileSize() const;
  void WriteQueuedLine(const std::string& aLine);  // drops and counts it when it cannot be written
  // The lines in order, each whole with its line end, as WriteQueuedLine one
  // after another would leave the file: the size is checked before every
  // twentieth line, and the file rotated there. The attempts, the failing
  // state and its probes count per batch: lines that cannot be written are
  // dropped and counted together.
  // aOnLogThread: called by the log thread, which keeps a buffer for it.
  void WriteQueuedLines(const std::vector<std::string>& aLines, bool aOnLogThread = false);
  void WriteQueuedLines(const tTK_LogQueue::Lines& aLines, bool aOnLogThread = false);
  void ReportDrops();  // the periodic report, and the probe while failing
  void Finish();       // a last report of drops, then the last line
  void MarkProgress();
  // The thread may end, idle for aIdleMs: kIdleEndMs, or while a report of
  // drops is due (the disk may come back, and the report go out)
  // kIdleEndReportDueMs.
  bool MayEnd(int64_t aIdleMs) const;

  tTK_LogQueue fQueue;
  std::atomic<uint64_t> fCounter{0};
  std::atomic<int32_t> fMaxLogfileSize{5000};
  std::atomic<int64_t> fDroppedTotal{0};
  int64_t fDroppedLastReported = 0;
  uint32_t fLastDropReportTick = 0;
  std::atomic<bool> fTerminated{false};
  std::atomic<bool> fFileNameEmpty{true};
  // When the thread last got on with something (steady clock, nanoseconds).
  std::atomic<int64_t> fProgressAt{0};

  // Holding the thread back (for tests): while held, the thread takes no line.
  std::mutex fHoldLock;
  std::condition_variable fHoldChanged;
  bool fHeld = false;
  bool fParked = false;  // the thread is waiting while held

  // Set when the thread has written the last line and ended for good.
  std::mutex fEndLock;
  std::condition_variable fEnded;
  bool fFinished = false;

  // The lines the log thread is appending, until they are in the file: a
  // process that ends stops the thread wherever it is, and the unloading
  // thread then appends them unless the file already ends with them.
  std::mutex fInFlightLock;
  tTK_LogQueue::Lines fInFlight;
  bool EndsWithLines(const tTK_LogQueue::Lines& aLines) const;

 private:
  // Appends aLine with its line end, up to aAttempts times kRetryDelayMs
  // apart; true once it is in the file, which also ends a failing stretch.
  bool AppendLine(const std::string& aLine, int aAttempts);
  // Appends aData, which holds aLineCount whole lines, with the attempts and
  // the folder rule of AppendLine.
  bool AppendData(const std::string& aFileName, std::string_view aData, uint64_t aLineCount, int aAttempts);
  template <class TLines>
  void WriteLines(const TLines& aLines, bool aOnLogThread);
  bool Oversize(int64_t aSize) const;
  // Renames the log file aside when it is over the limit.
  void RotateIfOversize(const std::string& aFileName);
  // Writes the report of the drops not reported yet; true when there were
  // none or the report is in the file.
  bool WriteDropReport(int aAttempts);
  bool ProbeDue() const;
  void StartProbe();
  void StartFailing();

  // (taken with a bound: at the end of the process the system may have
  // stopped the thread that held it)
  mutable std::mutex fNameLock;
  std::string fDirectory;
  std::string fFileName;
  std::atomic<uint64_t> fNameChanges{0};  // counts the changes of fFileName, under fNameLock
  std::mutex fLastLineLock;
  std::string fLastLine;
  bool fHasLastLine = false;

  // Log thread only.
  // The file name as the log thread last took it, taken again when it has
  // changed since: a batch costs no copy of it.
  const std::string& LogThreadFileName();
  std::string fLogThreadFileName;
  uint64_t fLogThreadNameChanges = UINT64_MAX;  // of fNameChanges when taken (none: never)
  static constexpr size_t kKeptBatchBytes = 64 * 1024;
  std::string fBatchData;  // the text of the batch being written, on the log thread
  bool fFailing = false;
  bool fFolderMade = false;  // the folder was made again since the last success or probe
  std::chrono::steady_clock::time_point fLastProbe;
};

class tTK_LogWriter;

// The background thread of one writer. It runs while there are lines to
// write: the first line queued starts it, and it ends by itself once idle
// (kIdleEndMs), to be started again by the next line. Each run keeps the
// module loaded until it is over (platform/module_thread.h), so that a host
// unloading the library never has to wait for it.
class tTK_LogThread {
 public:
  explicit tTK_LogThread(std::shared_ptr<tTK_LogState> aState);
  ~tTK_LogThread();  // Stop(-1)
  tTK_LogThread(const tTK_LogThread&) = delete;
  tTK_LogThread& operator=(const tTK_LogThread&) = delete;

  // Starts a run, for a caller whose push claimed the queue's consumer
  // role. While the module is being unloaded none is started: the lines then
  // wait for Stop. When no thread can be made, the role is given up and the
  // lines wait for the next line or Stop.
  void StartRun();
  // Ends the thread: shuts the queue down and has a run write (or count as
  // dropped) every queued line and the last line, waiting for it to end. The
  // wait ends early after aMaxWaitMs when that is not negative, and always
  // once the thread has got on with nothing for kStopStallMs (a write that
  // blocks): a run still going then is left to finish on its own.
  // While the module is being unloaded no run of the thread can be going:
  // when the host unloads it, each run held the module and is over; at the
  // end of the process the system has stopped the thread wherever it was.
  // What is left is written here, on the unloading thread, without waiting
  // for any lock that a stopped thread may hold.
  void Stop(int aMaxWaitMs);
  int64_t DroppedTotal() const { return fState->fDroppedTotal.load(); }
  // A run is going (it ends by itself once idle).
  bool Running() const { return fState->fQueue.HasConsumer(); }

  // Holds the thread back before its next line, or lets it go on (tests).
  // Holding returns once the thread is held (or no run is going; the next
  // one starts held), so that no line is taken from the queue after it.
  void SetHeld(bool aHeld);

 private:
  static void Execute(std::shared_ptr<tTK_LogState> aState);
  void StartRunLocked();
  void FinishHere();
  void ReleaseHoldIfFree();

  std::shared_ptr<tTK_LogState> fState;
  std::mutex fStartLock;  // starting and joining runs
  platform::ModuleThread fRun;
  bool fStopped = false;
};

class tTK_LogWriter {
 public:
  static constexpr int32_t kDefaultMaxLogfileSize = 5000;  // units of 1024 bytes
  static constexpr int kFinalizationWaitMs = 500;

  tTK_LogWriter(const std::string& aFileName, const std::string& aDirectory, int32_t aMaxMessageLength,
                bool aDaily);
  ~tTK_LogWriter();
  tTK_LogWriter(const tTK_LogWriter&) = delete;
  tTK_LogWriter& operator=(const tTK_LogWriter&) = delete;

  // Hands one line to the log thread; never waits for the disk or the queue.
  void Write(tTK_MessageType aEntryType, std::string_view aMessage);
  // Hands the writer its last line: it is written after every line queued
  // before it, preceded by a report of drops not yet reported, and it never
  // meets a full queue. From then on Write does nothing.
  void WriteLast(tTK_MessageType aEntryType, std::string_view aMessage);

  int64_t GetLogFileSize() const { return fState->GetLogFileSize(); }
  bool CheckLogfileSize() const { return fState->CheckLogfileSize(); }
  int64_t DroppedTotal() const { return fThread ? fThread->DroppedTotal() : 0; }

  std::string Directory() const;
  void SetDirectory(const std::string& aDirectory);
  std::string FileName() const { return fState->FileName(); }
  void RefreshFileName(std::string& aName, uint64_t& aSeen) const { fState->RefreshFileName(aName, aSeen); }
  void SetFileName(const std::string& aFileName);
  int32_t MaxMessageLength() const { return fMaxMessageLength; }
  bool ShowInstanceGuid() const { return fShowInstanceGuid.load(); }
  void SetShowInstanceGuid(bool aValue) { fShowInstanceGuid.store(aValue); }
  const platform::Uuid& Guid() const { return fGuid; }
  bool Daily() const { return fDaily; }
  tTK_LogThread* Thread() const { return fThread.get(); }
  int32_t MaxLogFileSize() const { return fState->fMaxLogfileSize.load(); }
  void SetMaxLogFileSize(int32_t aValue) { fState->fMaxLogfileSize.store(aValue); }
  bool IsDLLFinalization() const { return fIsDLLFinalization; }
  void SetIsDLLFinalization(bool aValue) { fIsDLLFinalization = aValue; }
  uint64_t Counter() const { return fState->fCounter.load(); }

  // The date and time to the second of the last line written, and their
  // text "yyyy-mm-dd hh:mm:ss" (the calendar fields compared, not the clock:
  // a change of time zone or clock gives other fields, and a new text).
  struct SecondStamp {
    int year = -1, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    char text[19] = {};
  };

 private:
  std::string FormatLine(tTK_MessageType aEntryType, std::string_view aMessage) const;
  // The room a line of aMessage takes, and the line appended to aLine.
  size_t LineSize(std::string_view aMessage) const;
  // What the writer keeps from line to line, under the queue's lock: the
  // clock's last second, and the text of the last line's.
  struct LineCache {
    platform::NowCache now;
    SecondStamp stamp;
  };
  // (with aCache, the clock and the time stamp of a second already written
  // are taken from it; only under the queue's lock)
  void AppendLine(std::string& aLine, tTK_MessageType aEntryType, std::string_view aMessage,
                  LineCache* aCache) const;

  platform::Uuid fGuid;
  std::string fGuidText;  // " - " and fGuid's text
  int32_t fMaxMessageLength = 0;
  bool fDaily = false;
  std::shared_ptr<tTK_LogState> fState;
  std::unique_ptr<tTK_LogThread> fThread;
  std::atomic<bool> fShowInstanceGuid{false};
  std::atomic<int32_t> fClosing{0};
  bool fIsDLLFinalization = false;
  LineCache fCache;  // under the queue's lock
};

// "yyyy-mm-dd hh:mm:ss:zzz"
std::string FormatLogTimestamp(const platform::LocalTime& aTime);

}  // namespace korvane
