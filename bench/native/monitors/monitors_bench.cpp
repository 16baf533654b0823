// OutputBMP32to24's conversion of a full-HD picture against the plain copy of
// the same bytes (the floor any conversion pays), and the log tail over a
// 100 MB UTF-16 log read in the window's chunks.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "monitors/bmp_writer.h"
#include "monitors/log_tail.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;

std::vector<uint8_t> Picture() {
  std::vector<uint8_t> pixels(static_cast<size_t>(kWidth) * kHeight * 4);
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>(i * 7);
  return pixels;
}

void BM_PlainCopy(benchmark::State& state) {
  const auto source = Picture();
  std::vector<uint8_t> target(source.size());
  for (auto _ : state) {
    std::memcpy(target.data(), source.data(), source.size());
    benchmark::DoNotOptimize(target.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * source.size()));
}
BENCHMARK(BM_PlainCopy)->Unit(benchmark::kMillisecond);

void BM_EncodeBmp24(benchmark::State& state) {
  const auto source = Picture();
  std::vector<uint8_t> file;
  for (auto _ : state) {
    vnscope::EncodeBmp24(kWidth, kHeight, source.data(), &file);
    benchmark::DoNotOptimize(file.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * source.size()));
}
BENCHMARK(BM_EncodeBmp24)->Unit(benchmark::kMillisecond);

// 100 MB of log lines, UTF-16LE with LF ends, as an engine writes them.
std::vector<uint8_t> Log() {
  constexpr size_t kBytes = 100u << 20;
  const std::u16string line = u"[0123] 千早「……ねえ、聞こえてる？」 voice v_chihaya_0012.ogg layer 3\n";
  std::vector<uint8_t> bytes;
  bytes.reserve(kBytes + line.size() * 2);
  while (bytes.size() < kBytes) {
    const auto* raw = reinterpret_cast<const uint8_t*>(line.data());
    bytes.insert(bytes.end(), raw, raw + line.size() * 2);
  }
  bytes.resize(kBytes);
  return bytes;
}

void BM_LogTail100MB(benchmark::State& state) {
  const auto log = Log();
  std::u16string display;
  display.reserve(1u << 20);
  for (auto _ : state) {
    vnscope::LogTail tail;
    for (size_t at = 0; at < log.size(); at += vnscope::kLogChunkBytes) {
      const size_t count = std::min(vnscope::kLogChunkBytes, log.size() - at);
      tail.AppendChunk(std::span(log.data() + at, count), &display);
      // The window hands each poll's text on; keep the string the size of one.
      if (display.size() > (1u << 19)) display.clear();
    }
    benchmark::DoNotOptimize(display.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * log.size()));
}
BENCHMARK(BM_LogTail100MB)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
