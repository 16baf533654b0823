// Time to build a report package for a 1280 x 720 screenshot: the four
// entries, the PNG encoding of the snapshot and the ZIP around them. The
// report dialog does this on the UI thread while the tester waits.
#include <benchmark/benchmark.h>

#include <ctime>
#include <string>
#include <vector>

#include "canvas/pixel_buffer.h"
#include "report/protocol/text_codec.h"
#include "report/package/package_entries.h"
#include "report/package/png_encode.h"
#include "report/protocol/report_types.h"
#include "report/package/zip_writer.h"

namespace vnscope {
namespace {

// A game-like screen: smooth gradients with some detail, fully opaque, which
// compresses like a real screenshot rather than like noise or a flat colour.
PixelBuffer MakeScreen(uint16_t width, uint16_t height) {
  PixelBuffer screen;
  if (!CreatePixelBuffer(32, height, width, &screen)) return screen;
  uint8_t* pixel = screen.pixels;
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x, pixel += 4) {
      pixel[0] = static_cast<uint8_t>(x / 5 + ((x * y) >> 12));
      pixel[1] = static_cast<uint8_t>(y / 3 + ((x ^ y) & 7));
      pixel[2] = static_cast<uint8_t>((x + y) / 8);
      pixel[3] = 0xFF;
    }
  }
  return screen;
}

void BM_BuildPackage(benchmark::State& state) {
  const PixelBuffer screen = MakeScreen(1280, 720);
  const Latin1Codec codec;
  const std::u16string header =
      u"[tqvm.dat]\r\nhash: 0123456789abcdef0123456789abcdef\r\ndate: 2024/03/15 10:20:30\r\n"
      u"size: 1234567\r\n\r\n[ LABEL ]\r\nscene_01\r\n\r\n[ REPORT ]\r\n";
  const std::u16string report(2000, u'x');
  std::vector<std::vector<std::u16string>> objects;
  for (int i = 0; i < 64; ++i) {
    objects.push_back({std::u16string(u"obj") + char16_t(u'0' + i % 10), u"sprite", u"bg01.png",
                       u"shown"});
  }
  std::tm stamp{};
  stamp.tm_year = 124;
  stamp.tm_mday = 1;

  uint64_t package_bytes = 0;
  for (auto _ : state) {
    ZipWriter writer;
    ByteBuffer png;
    const auto author = AuthorEntry(u"title", u"tester",
                                    ReportFlags::HasText | ReportFlags::HasSnapshot);
    const auto script = ScriptInfoEntry(header, report, codec);
    const auto object_list = ObjectListEntry(objects, codec);
    if (EncodePng(screen, &png) != 0 || !writer.Start(stamp) ||
        !writer.Add("author", author.data(), static_cast<uint32_t>(author.size())) ||
        !writer.Add("scriptinfo.txt", script.data(), static_cast<uint32_t>(script.size())) ||
        !writer.Add("snapshot.png", png.Data(), png.RequestedSize()) ||
        !writer.Add("objectlist.csv", object_list.data(),
                    static_cast<uint32_t>(object_list.size()))) {
      state.SkipWithError("building the package failed");
      break;
    }
    const auto package = writer.Finish();
    if (!package) {
      state.SkipWithError("finishing the package failed");
      break;
    }
    package_bytes = package->size;
    benchmark::DoNotOptimize(package->data);
  }
  state.counters["package_bytes"] = static_cast<double>(package_bytes);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * screen.RowBytes() *
                          screen.height);
}
BENCHMARK(BM_BuildPackage)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vnscope

BENCHMARK_MAIN();
