// The snapshot's PNG encoder with random sizes, depths and pixels, appending
// to a buffer that already holds bytes; libpng's own reader decodes the file
// and every pixel must come back as R, G, B, A of the source's B, G, R, A.
#include <png.h>

#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "report/package/png_encode.h"

namespace {

using vnscope::fuzz::Check;

struct Source {
  const uint8_t* bytes;
  size_t size;
  size_t at = 0;
};

void ReadFromMemory(png_structp png, png_bytep out, png_size_t length) {
  auto* source = static_cast<Source*>(png_get_io_ptr(png));
  if (length > source->size - source->at) png_error(png, "read past the end of the file");
  std::memcpy(out, source->bytes + source->at, length);
  source->at += length;
}

struct Decoded {
  png_uint_32 width = 0, height = 0;
  int depth = 0, colour = 0, interlace = 0;
  std::vector<uint8_t> rgba;
  std::vector<png_bytep> rows;
  bool wholeFile = false;
};

// Decodes without any transformation, so what comes back is what is stored.
// The decoded picture lives outside this frame: libpng's errors jump here.
bool Decode(Source& source, Decoded* out) {
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  Check(png && info);
  if (setjmp(png_jmpbuf(png)) != 0) {
    png_destroy_read_struct(&png, &info, nullptr);
    return false;
  }
  png_set_read_fn(png, &source, ReadFromMemory);
  png_read_info(png, info);
  int compression = 0, filter = 0;
  png_get_IHDR(png, info, &out->width, &out->height, &out->depth, &out->colour, &out->interlace, &compression,
               &filter);
  Check(out->depth == 8 && out->colour == PNG_COLOR_TYPE_RGB_ALPHA && out->interlace == PNG_INTERLACE_NONE);
  out->rgba.assign(size_t{out->width} * out->height * 4, 0);
  out->rows.resize(out->height);
  for (png_uint_32 y = 0; y < out->height; ++y) out->rows[y] = out->rgba.data() + size_t{y} * out->width * 4;
  png_read_image(png, out->rows.data());
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  out->wholeFile = source.at == source.size;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vnscope::fuzz::OpReader in(data, size);
  const uint16_t width = static_cast<uint16_t>(in.Below(400));
  const uint16_t height = static_cast<uint16_t>(in.Below(48));
  // Mostly 32 to 39 bits, the depths the encoder takes; now and then another.
  const uint8_t shape = in.U8();
  const uint8_t bits = shape < 192 ? 32 + shape % 8 : shape - 192;
  const std::vector<uint8_t> prefix(in.Below(8), 0x5A);
  vnscope::PixelBuffer picture;
  Check(vnscope::CreatePixelBuffer(bits, height, width, &picture));
  const size_t rowBytes = size_t{width} * ((bits >> 3) & 31);
  in.Fill(std::span(picture.pixels, rowBytes * height));

  vnscope::ByteBuffer out;
  if (!prefix.empty()) Check(out.Append(prefix.data(), static_cast<uint32_t>(prefix.size())));
  const int result = vnscope::EncodePng(picture, &out);
  if (width == 0 || height == 0 || bits >> 3 != 4) {
    Check(result == -1);
    return 0;
  }
  Check(result == 0 && out.WritePosition() > prefix.size());
  Check(prefix.empty() || std::memcmp(out.Data(), prefix.data(), prefix.size()) == 0);
  Source source{out.Data() + prefix.size(), out.WritePosition() - prefix.size()};
  Decoded decoded;
  Check(Decode(source, &decoded));
  Check(decoded.wholeFile && decoded.width == width && decoded.height == height);
  for (size_t i = 0; i < size_t{width} * height; ++i) {
    const uint8_t* bgra = picture.pixels + i * 4;
    const uint8_t* rgba = decoded.rgba.data() + i * 4;
    Check(rgba[0] == bgra[2] && rgba[1] == bgra[1] && rgba[2] == bgra[0] && rgba[3] == bgra[3]);
  }
  return 0;
}
