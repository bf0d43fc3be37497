// File-type icons from the Windows shell, drawn into a 32-bit top-down DIB section and
// read back as premultiplied BGRA: the icon is drawn twice, on black and on white, and the
// difference gives each pixel's coverage, so icons with and without an alpha channel of
// their own come out the same way.
#include "platform/file_type_icons.h"

#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cstring>

#include "platform/win32/wide.h"

namespace kit::platform::icons {

namespace {

// The pixels of the icon drawn on a background of the given grey.
bool draw_on(HICON icon, int size, uint8_t background, std::vector<uint8_t>& pixels) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = size;
  info.bmiHeader.biHeight = -size;  // top-down rows
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HDC dc = ::CreateCompatibleDC(nullptr);
  if (!dc) return false;
  HBITMAP bitmap = ::CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  bool ok = false;
  if (bitmap && bits) {
    HGDIOBJ old = ::SelectObject(dc, bitmap);
    size_t bytes = static_cast<size_t>(size) * size * 4;
    std::memset(bits, background, bytes);
    ok = ::DrawIconEx(dc, 0, 0, icon, size, size, 0, nullptr, DI_NORMAL) != 0;
    ::GdiFlush();
    if (ok) pixels.assign(static_cast<uint8_t*>(bits), static_cast<uint8_t*>(bits) + bytes);
    ::SelectObject(dc, old);
  }
  if (bitmap) ::DeleteObject(bitmap);
  ::DeleteDC(dc);
  return ok;
}

} // namespace

bool shell_type_icon(const std::string& file_name, int size, icon_image& out) {
  if (size <= 0 || size > 256) return false;
  std::wstring name = win32::wide(file_name);
  SHFILEINFOW info{};
  UINT flags = SHGFI_ICON | SHGFI_USEFILEATTRIBUTES | (size <= 16 ? SHGFI_SMALLICON : SHGFI_LARGEICON);
  if (!::SHGetFileInfoW(name.c_str(), FILE_ATTRIBUTE_NORMAL, &info, sizeof info, flags) || !info.hIcon) return false;
  std::vector<uint8_t> on_black, on_white;
  bool drawn = draw_on(info.hIcon, size, 0, on_black) && draw_on(info.hIcon, size, 255, on_white);
  ::DestroyIcon(info.hIcon);
  if (!drawn) return false;
  // On black a pixel shows colour * alpha; on white colour * alpha + (1 - alpha) * 255. So
  // alpha = 255 - (white - black), and the black drawing is already premultiplied.
  out.width = out.height = size;
  out.bgra.assign(on_black.size(), 0);
  bool any = false;
  for (size_t i = 0; i < on_black.size(); i += 4) {
    int spread = 0;
    for (int c = 0; c < 3; ++c) spread = std::max(spread, on_white[i + c] - on_black[i + c]);
    uint8_t alpha = static_cast<uint8_t>(255 - std::clamp(spread, 0, 255));
    for (int c = 0; c < 3; ++c) out.bgra[i + c] = std::min(on_black[i + c], alpha);
    out.bgra[i + 3] = alpha;
    any = any || alpha != 0;
  }
  return any;
}

} // namespace kit::platform::icons
