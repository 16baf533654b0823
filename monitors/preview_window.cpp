// The preview monitor (dialog 105): shows the engine's last picture at 1:1.
// Fixed size, placed by its template; the first picture sizes it.
#include <windows.h>

#include <cstring>
#include <new>
#include <vector>

#include "monitors/monitor_window.h"
#include "include/vnscope.h"
#include "monitors/monitor_dialogs.h"
#include "win32/boundary_guard.h"

namespace vnscope {
namespace {

// A copy the drawing call may read whole: rows padded to 4 bytes, as a
// device-independent bitmap without colour table needs them.
struct PreviewState {
  int32_t width = 0;
  int32_t height = 0;
  uint8_t bitsPerPixel = 0;
  std::vector<uint8_t> pixels;
} g_preview;

// Larger pictures are refused: far beyond any game screen, and the copy must
// stay addressable in a 32-bit process.
constexpr uint64_t kMaxPictureBytes = 256u << 20;

// Below 16 bits a picture needs a colour table the engine does not send.
bool DrawableDepth(uint8_t bitsPerPixel) { return bitsPerPixel == 16 || bitsPerPixel == 24 || bitsPerPixel == 32; }

// Sizes the window once so that the client area holds the picture exactly.
// The extended style counts too: the static edge and the tool window's
// smaller caption change the frame, and leaving them out would clip the
// picture by a few pixels.
void FitClientArea(HWND dialog, int32_t width, int32_t height) {
  RECT frame{0, 0, width, height};
  AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrW(dialog, GWL_STYLE)), FALSE,
                     static_cast<DWORD>(GetWindowLongPtrW(dialog, GWL_EXSTYLE)));
  SetWindowPos(dialog, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOOWNERZORDER | SWP_NOACTIVATE);
}

bool CopyPicture(const PreviewImage& image) {
  const uint64_t rowBytes = static_cast<uint64_t>(image.width) * (image.bitsPerPixel / 8);
  const uint64_t stride = (rowBytes + 3) & ~3ull;
  if (stride * static_cast<uint64_t>(image.height) > kMaxPictureBytes) return false;
  if (rowBytes > 0 && image.height > 0 && !image.pixels) return false;
  // Up to 256 MiB need not be there in a 32-bit process: without the
  // memory the picture is refused and the last one stays.
  try {
    g_preview.pixels.resize(static_cast<size_t>(stride * static_cast<uint64_t>(image.height)));
  } catch (const std::bad_alloc&) {
    return false;
  }
  const auto* source = static_cast<const uint8_t*>(image.pixels);
  if (stride == rowBytes) {
    if (!g_preview.pixels.empty()) std::memcpy(g_preview.pixels.data(), source, g_preview.pixels.size());
    return true;
  }
  for (int32_t row = 0; row < image.height; ++row) {
    uint8_t* target = g_preview.pixels.data() + row * stride;
    std::memcpy(target, source + row * rowBytes, static_cast<size_t>(rowBytes));
    std::memset(target + rowBytes, 0, static_cast<size_t>(stride - rowBytes));
  }
  return true;
}

void OnCopyData(HWND dialog, const COPYDATASTRUCT* data) {
  // Only the 16-byte record: another layout never reaches the copy.
  if (!data || data->dwData != VN_PREVIEW_IMAGE || data->cbData != sizeof(PreviewImage) || !data->lpData) return;
  const auto& image = *static_cast<const PreviewImage*>(data->lpData);
  if (image.width < 0 || image.height < 0 || !DrawableDepth(image.bitsPerPixel)) return;
  if (!CopyPicture(image)) return;
  if (g_preview.width == 0) FitClientArea(dialog, image.width, image.height);
  g_preview.bitsPerPixel = image.bitsPerPixel;
  g_preview.width = image.width;
  g_preview.height = image.height;
  // Only the new picture's rectangle: a larger old one stays until the area
  // is repainted for another reason.
  const RECT update{0, 0, image.width, image.height};
  InvalidateRect(dialog, &update, TRUE);
}

// A new monitor set starts without a picture, so its first picture sizes it.
void OnInitDialog() { g_preview = PreviewState{}; }

void OnPaint(HWND dialog) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(dialog, &paint);
  if (!g_preview.pixels.empty()) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = g_preview.width;
    info.bmiHeader.biHeight = g_preview.height;  // positive: bottom-up rows, as the engine sends them
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = g_preview.bitsPerPixel;
    info.bmiHeader.biCompression = BI_RGB;
    StretchDIBits(dc, 0, 0, g_preview.width, g_preview.height, 0, 0, g_preview.width, g_preview.height,
                  g_preview.pixels.data(), &info, DIB_RGB_COLORS, SRCCOPY);
  }
  EndPaint(dialog, &paint);
}

}  // namespace

INT_PTR CALLBACK PreviewDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  GuardBoundary([&] {
    switch (message) {
      case WM_INITDIALOG: OnInitDialog(); break;
      case WM_COPYDATA: OnCopyData(dialog, reinterpret_cast<const COPYDATASTRUCT*>(lparam)); break;
      case WM_PAINT: OnPaint(dialog); break;
      default: HandleSharedMonitorMessage(dialog, message, wparam, lparam); break;
    }
  });
  return 0;
}

}  // namespace vnscope
