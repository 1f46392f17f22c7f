// The log writer: how long a caller spends in Write, and how many lines a
// second reach the file, beside a bare loop that opens, appends one line,
// flushes and closes the file for every line (the ceiling that writing each
// line through to the file sets).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>

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
