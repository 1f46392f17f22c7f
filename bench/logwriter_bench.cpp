// The log writer: how long a caller spends in Write, and how many lines a
// second reach the file, beside a bare loop that opens, appends one line,
// flushes and closes the file for every line (the ceiling that writing each
// line through to the file sets), and beside spdlog's asynchronous logger
// handing over a line of the same length (a comparator of this program only).
#include <benchmark/benchmark.h>
#include <spdlog/async.h>
#include <spdlog/pattern_formatter.h>
#include <spdlog/sinks/basic_file_sink.h>
#include <spdlog/spdlog.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/log_writer.h"
#include "support/test_support.h"

using namespace korvane;

namespace {

const std::string kMessage = "Send: {\"Type\":\"Message\",\"Text1\":\"Milk 1 L\",\"Text2\":\"1.29\"}";

// Calling-thread cost of Write while the log thread writes behind it. The
// iterations stay below the queue's capacity, so every call hands over a line
// ("dropped" shows it).
std::unique_ptr<tTK_LogWriter> gWriter;
std::unique_ptr<testing::TempDir> gWriterDir;

void BM_WriteLatency(benchmark::State& state) {
  if (state.thread_index() == 0) {
    gWriterDir = std::make_unique<testing::TempDir>();
    gWriter = std::make_unique<tTK_LogWriter>("latency", gWriterDir->Path(), 0, false);
  }
  for (auto _ : state) gWriter->Write(let_info, kMessage);
  state.SetItemsProcessed(state.iterations());
  if (state.thread_index() == 0) {
    state.counters["dropped"] = static_cast<double>(gWriter->DroppedTotal());
    gWriter.reset();
    gWriterDir.reset();
  }
}
BENCHMARK(BM_WriteLatency)->Threads(1)->Threads(2)->Iterations(8000)->UseRealTime();

// The median time one Write takes on the calling thread, beside one call of
// spdlog's asynchronous logger (its own thread writes to a file, a full queue
// overwrites its oldest line rather than blocking, as a full log queue here
// drops). Short rounds of each alternate, with a pause that lets both
// threads catch up, so that the drift of a shared machine falls on both.
double Median(std::vector<double>& aValues) {
  std::sort(aValues.begin(), aValues.end());
  return aValues.empty() ? 0 : aValues[aValues.size() / 2];
}

void BM_EnqueueMedianBesideSpdlog(benchmark::State& state) {
  constexpr int kRounds = 40, kCalls = 250;
  const testing::TempDir dir;
  spdlog::init_thread_pool(8192, 1);
  auto sink = std::make_shared<spdlog::sinks::basic_file_sink_mt>(dir.File("spdlog.log"));
  auto spd = std::make_shared<spdlog::async_logger>("bench", sink, spdlog::thread_pool(),
                                                    spdlog::async_overflow_policy::overrun_oldest);
  spd->set_formatter(std::make_unique<spdlog::pattern_formatter>("%Y-%m-%d %H:%M:%S:%e - %v",
                                                                 spdlog::pattern_time_type::local, "\r\n"));
  tTK_LogWriter writer("enqueue", dir.Path(), 0, false);
  using Clock = std::chrono::steady_clock;
  std::vector<double> ours, theirs;
  for (auto _ : state) {
    for (int round = 0; round < kRounds; ++round) {
      for (int side = 0; side < 2; ++side) {
        const bool korvane = (side + round) % 2 == 0;
        for (int i = 0; i < kCalls; ++i) {
          const Clock::time_point start = Clock::now();
          if (korvane)
            writer.Write(let_info, kMessage);
          else
            spd->info(kMessage);
          const double ns = std::chrono::duration<double, std::nano>(Clock::now() - start).count();
          (korvane ? ours : theirs).push_back(ns);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
    }
  }
  state.counters["korvane_ns"] = Median(ours);
  state.counters["spdlog_ns"] = Median(theirs);
  state.counters["x_spdlog"] = Median(ours) / Median(theirs);
  state.counters["dropped"] = static_cast<double>(writer.DroppedTotal());
  spd->flush();
  spdlog::shutdown();
}
BENCHMARK(BM_EnqueueMedianBesideSpdlog)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// Lines per second that reach the file: the time from the first Write until
// the writer, destroyed, has written the last line.
void BM_SustainedLines(benchmark::State& state) {
  const int lines = static_cast<int>(state.range(0));
  const testing::TempDir dir;
  for (auto _ : state) {
    tTK_LogWriter writer("sustained", dir.Path(), 0, false);
    for (int i = 0; i < lines; ++i) writer.Write(let_info, kMessage);
  }  // destruction waits until every line is in the file
  state.SetItemsProcessed(state.iterations() * lines);
}
BENCHMARK(BM_SustainedLines)->Arg(10000)->Unit(benchmark::kMillisecond)->UseRealTime();

// The bare loop: open, append one line with CR LF, flush, close.
void BM_BareOpenAppendClose(benchmark::State& state) {
  const int lines = static_cast<int>(state.range(0));
  const testing::TempDir dir;
  const std::string path = dir.File("bare.log");
  const std::string line = "2024-09-17 14:03:59:123 - " + kMessage + "\r\n";
  for (auto _ : state) {
    for (int i = 0; i < lines; ++i) {
      FILE* f = std::fopen(path.c_str(), "ab");
      std::fwrite(line.data(), 1, line.size(), f);
      std::fflush(f);
      std::fclose(f);
    }
  }
  state.SetItemsProcessed(state.iterations() * lines);
}
BENCHMARK(BM_BareOpenAppendClose)->Arg(10000)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
