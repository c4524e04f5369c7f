#include "tests/ui/win32/Canvas.h"

#include <map>

#include "ui/win32/Application.h"

namespace quillet::testing {

Canvas::Canvas(int width, int height, COLORREF fill) : m_width(width), m_height(height) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  m_bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  m_bits = static_cast<std::uint32_t*>(bits);
  m_dc = CreateCompatibleDC(nullptr);
  m_oldBitmap = SelectObject(m_dc, m_bitmap);
  const HBRUSH brush = CreateSolidBrush(fill);
  const RECT all{0, 0, width, height};
  FillRect(m_dc, &all, brush);
  DeleteObject(brush);
}

Canvas::~Canvas() {
  SelectObject(m_dc, m_oldBitmap);
  DeleteDC(m_dc);
  DeleteObject(m_bitmap);
}

COLORREF Canvas::Pixel(int x, int y) const {
  GdiFlush();
  const std::uint32_t pixel = m_bits[static_cast<std::size_t>(y) * m_width + x];
  return RGB((pixel >> 16) & 0xFF, (pixel >> 8) & 0xFF, pixel & 0xFF);
}

void Canvas::PrintClient(HWND window) {
  SendMessageW(window, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(m_dc), PRF_CLIENT | PRF_ERASEBKGND);
}

std::set<int> Canvas::InkColumns() const {
  std::map<COLORREF, int> counts;
  for (int y = 0; y < m_height; ++y) {
    for (int x = 0; x < m_width; ++x)
      ++counts[Pixel(x, y)];
  }
  COLORREF background = 0;
  int most = 0;
  for (const auto& [color, count] : counts) {
    if (count > most) background = color, most = count;
  }
  std::set<int> columns;
  for (int y = 0; y < m_height; ++y) {
    for (int x = 0; x < m_width; ++x) {
      if (Pixel(x, y) != background) columns.insert(x);
    }
  }
  return columns;
}

void InitializeApplication() {
  Application.Initialize();
}

}  // namespace quillet::testing
