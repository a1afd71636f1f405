// The core's pass over a word list beside the least any pass can do: read
// the file in the same blocks and find every line break with memchr.
//   core_bench --list=PATH --ending=BYTES [Google Benchmark flags]
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "search/block_scan.h"
#include "search/ending_search.h"
#include "search/line_list.h"
#include "search/rhymes.h"

namespace {

std::string g_list;
std::string g_ending;

class CountingSink : public versalo::ResultSink {
 public:
  void Clear() override { count = 0; }
  void Add(std::string_view) override { ++count; }
  std::size_t count = 0;
};

void SetBytes(benchmark::State& state) {
  std::FILE* file = std::fopen(g_list.c_str(), "rb");
  if (file == nullptr) return;
  std::fseek(file, 0, SEEK_END);
  const long long size = std::ftell(file);
  std::fclose(file);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * size);
}

void FindEndingMatches(benchmark::State& state) {
  CountingSink sink;
  for (auto _ : state) {
    versalo::WordListOptions options;
    options.path = g_list.c_str();
    if (versalo::FindEndingMatches(g_ending, sink, options) != versalo::SearchOutcome::Listed) {
      state.SkipWithError("the search failed");
      return;
    }
    benchmark::DoNotOptimize(sink.count);
  }
  state.counters["matches"] = static_cast<double>(sink.count);
  SetBytes(state);
}

void MemchrLineBreaks(benchmark::State& state) {
  const std::size_t block_size = versalo::WordListOptions{}.block_size;
  std::unique_ptr<char[]> block(new char[block_size]);
  std::size_t lines = 0;
  for (auto _ : state) {
    lines = 0;
    std::FILE* file = std::fopen(g_list.c_str(), "rb");
    if (file == nullptr) {
      state.SkipWithError("cannot open the list");
      return;
    }
    std::setvbuf(file, nullptr, _IONBF, 0);
    for (std::size_t got; (got = std::fread(block.get(), 1, block_size, file)) > 0;) {
      const char* at = block.get();
      const char* end = at + got;
      while (const void* lf = std::memchr(at, '\n', static_cast<std::size_t>(end - at))) {
        ++lines;
        at = static_cast<const char*>(lf) + 1;
      }
    }
    std::fclose(file);
    benchmark::DoNotOptimize(lines);
  }
  state.counters["lines"] = static_cast<double>(lines);
  SetBytes(state);
}

// Reading alone, in the same blocks: the floor of any pass.
void ReadBlocks(benchmark::State& state) {
  const std::size_t block_size = versalo::WordListOptions{}.block_size;
  std::unique_ptr<char[]> block(new char[block_size]);
  for (auto _ : state) {
    std::FILE* file = std::fopen(g_list.c_str(), "rb");
    if (file == nullptr) {
      state.SkipWithError("cannot open the list");
      return;
    }
    std::setvbuf(file, nullptr, _IONBF, 0);
    while (std::fread(block.get(), 1, block_size, file) > 0) benchmark::ClobberMemory();
    std::fclose(file);
  }
  SetBytes(state);
}

// The list held in memory, as the page and versalo-find's options hold it.
std::string ReadWhole() {
  std::string bytes;
  if (std::FILE* file = std::fopen(g_list.c_str(), "rb")) {
    char block[1 << 16];
    for (std::size_t got; (got = std::fread(block, 1, sizeof block, file)) > 0;) bytes.append(block, got);
    std::fclose(file);
  }
  return bytes;
}

const versalo::LineList& HeldList() {
  static const versalo::LineList list(ReadWhole());
  return list;
}

const versalo::ReverseIndex& HeldIndex() {
  static const versalo::ReverseIndex index(HeldList());
  return index;
}

void BuildLineList(benchmark::State& state) {
  const std::string bytes = ReadWhole();
  std::size_t memory = 0;
  for (auto _ : state) {
    const versalo::LineList list(bytes);
    memory = list.memory();
  }
  state.counters["bytes_a_line"] = static_cast<double>(memory) / static_cast<double>(HeldList().size());
}

void BuildReverseIndex(benchmark::State& state) {
  std::size_t memory = 0;
  for (auto _ : state) {
    const versalo::ReverseIndex index(HeldList());
    memory = index.memory();
  }
  state.counters["bytes_a_line"] = static_cast<double>(memory) / static_cast<double>(HeldList().size());
}

// FindRhymes in each order, with and without the sound rule; range(0):
// 0 scans the held list, 1 looks the ending up in the index.
void FindRhymes(benchmark::State& state) {
  versalo::RhymeQuery query;
  query.ending = g_ending;
  query.order = static_cast<versalo::ResultOrder>(state.range(1));
  query.sound = state.range(2) != 0;
  const versalo::ReverseIndex* index = state.range(0) ? &HeldIndex() : nullptr;
  std::size_t found = 0;
  for (auto _ : state) {
    found = versalo::FindRhymes(HeldList(), index, query).lines.size();
    benchmark::DoNotOptimize(found);
  }
  state.counters["matches"] = static_cast<double>(found);
}

// OrderHeld in each order on the matches that versalo-find holds: only
// the ordering, of lines held apart from the list; with "threads:2", a
// long sort shared with a second thread, as versalo-find shares it.
void OrderHeld(benchmark::State& state) {
  versalo::RhymeQuery query;
  query.ending = g_ending;
  query.order = static_cast<versalo::ResultOrder>(state.range(0));
  versalo::LineList held;
  versalo::WordListOptions options;
  options.path = g_list.c_str();
  if (versalo::HoldRhymeLines(query, options, held) != versalo::SearchOutcome::Listed) {
    state.SkipWithError("the search failed");
    return;
  }
  versalo::BothRunner both;
  if (state.range(1) == 2) {
    both = [](const std::function<void()>& one, const std::function<void()>& other) {
      std::thread thread(one);
      other();
      thread.join();
    };
  }
  for (auto _ : state) benchmark::DoNotOptimize(versalo::OrderHeld(held, query, true, both).lines.data());
  state.counters["matches"] = static_cast<double>(held.size());
}

BENCHMARK(BuildLineList)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BuildReverseIndex)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(FindRhymes)
    ->ArgNames({"index", "order", "sound"})
    ->ArgsProduct({{0, 1}, {0, 1, 2}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(OrderHeld)
    ->ArgNames({"order", "threads"})
    ->ArgsProduct({{0, 1, 2}, {1}})
    ->Args({1, 2})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(FindEndingMatches)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(MemchrLineBreaks)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(ReadBlocks)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--list=", 7) == 0) g_list = argv[i] + 7;
    if (std::strncmp(argv[i], "--ending=", 9) == 0) g_ending = argv[i] + 9;
  }
  if (g_list.empty() || g_ending.size() < 2) {
    std::fprintf(stderr, "usage: core_bench --list=PATH --ending=BYTES [benchmark flags]\n");
    return 2;
  }
  benchmark::AddCustomContext("pass", versalo::ScanPathName(versalo::CurrentScanPath()));
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
