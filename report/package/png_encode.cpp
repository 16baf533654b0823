#include "report/package/png_encode.h"

#include <png.h>

#include <csetjmp>
#include <cstdlib>

namespace vnscope {
namespace {

void AppendToBuffer(png_structp png, png_bytep data, png_size_t length) {
  auto* out = static_cast<ByteBuffer*>(png_get_io_ptr(png));
  if (length > UINT32_MAX || !out->Append(data, static_cast<uint32_t>(length))) {
    png_error(png, "out of memory for the PNG output");
  }
}

// Output goes to memory: there is nothing to flush.
void FlushNothing(png_structp) {}

// libpng reports errors by longjmp to the setjmp below, which skips every
// frame in between without unwinding it. This frame therefore holds only
// trivially destructible values, and nothing here is read after the jump.
int WritePng(png_structp png, png_infop info, const PixelBuffer& image, png_bytepp rows,
             ByteBuffer* out) {
  if (setjmp(png_jmpbuf(png)) != 0) return -1;
  png_set_write_fn(png, out, AppendToBuffer, FlushNothing);
  png_set_IHDR(png, info, image.width, image.height, 8, PNG_COLOR_TYPE_RGB_ALPHA,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  const uint32_t row_bytes = image.RowBytes();
  for (uint32_t row = 0; row < image.height; ++row) {
    rows[row] = image.pixels + size_t{row} * row_bytes;
  }
  // The pixels hold B, G, R, A; PNG stores R, G, B, A.
  png_set_bgr(png);
  png_write_image(png, rows);
  png_write_end(png, info);
  return 0;
}

}  // namespace

int EncodePng(const PixelBuffer& image, ByteBuffer* out) {
  // libpng reads four bytes a pixel whatever the buffer claims, so any other
  // depth would read past the rows.
  if (out == nullptr || image.width == 0 || image.height == 0 || image.pixels == nullptr ||
      (image.bitsPerPixel >> 3) != 4) {
    return -1;
  }
  auto* rows = static_cast<png_bytepp>(std::malloc(image.height * sizeof(png_bytep)));
  if (rows == nullptr) return -1;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
  int result = -1;
  if (info != nullptr) result = WritePng(png, info, image, rows, out);
  // Destroying with a null info pointer frees the write structure alone.
  png_destroy_write_struct(png != nullptr ? &png : nullptr, info != nullptr ? &info : nullptr);
  std::free(rows);
  return result;
}

}  // namespace vnscope
