// The log writer: how long a caller spends in Write, and how many lines a
// second reach the file, beside a bare loop that opens, appends one line,
// flushes and closes the file for every line (the ceiling that writing each
// line through to the file sets).
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "base/log_writer.h"

using namespace korvane;

namespace {

const std::string kMessage = "Send: {\"Type\":\"Message\",\"Text1\":\"Milk 1 L\",\"Text2\":\"1.29\"}";

std::string MakeTempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "korvane-bench-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) std::abort();
  return pattern;
}

// Calling-thread cost of Write while the log thread writes behind it. The
// iterations stay below the queue's capacity, so every call hands over a line
// ("dropped" shows it).
std::unique_ptr<tTK_LogWriter> gWriter;
std::string gWriterDir;

void BM_WriteLatency(benchmark::State& state) {
  if (state.thread_index() == 0) {
    gWriterDir = MakeTempDir();
    gWriter = std::make_unique<tTK_LogWriter>("latency", gWriterDir, 0, false);
  }
  for (auto _ : state) gWriter->Write(let_info, kMessage);
  state.SetItemsProcessed(state.iterations());
  if (state.thread_index() == 0) {
    state.counters["dropped"] = static_cast<double>(gWriter->DroppedTotal());
    gWriter.reset();
    std::filesystem::remove_all(gWriterDir);
  }
}
BENCHMARK(BM_WriteLatency)->Threads(1)->Threads(2)->Iterations(8000)->UseRealTime();

// Lines per second that reach the file: the time from the first Write until
// the writer, destroyed, has written the last line.
void BM_SustainedLines(benchmark::State& state) {
  const int lines = static_cast<int>(state.range(0));
  const std::string dir = MakeTempDir();
  for (auto _ : state) {
    tTK_LogWriter writer("sustained", dir, 0, false);
    for (int i = 0; i < lines; ++i) writer.Write(let_info, kMessage);
  }  // destruction waits until every line is in the file
  state.SetItemsProcessed(state.iterations() * lines);
  std::filesystem::remove_all(dir);
}
BENCHMARK(BM_SustainedLines)->Arg(10000)->Unit(benchmark::kMillisecond)->UseRealTime();

// The bare loop: open, append one line with CR LF, flush, close.
void BM_BareOpenAppendClose(benchmark::State& state) {
  const int lines = static_cast<int>(state.range(0));
  const std::string dir = MakeTempDir();
  const std::string path = dir + "/bare.log";
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
  std::filesystem::remove_all(dir);
}
BENCHMARK(BM_BareOpenAppendClose)->Arg(10000)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
