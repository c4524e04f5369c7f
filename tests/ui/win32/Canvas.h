// What a window or an image list draws, read back: a 32-bit DIB with a memory DC.
#pragma once

#include <windows.h>

#include <cstdint>
#include <set>

namespace quillet::testing {

class Canvas {
 public:
  Canvas(int width, int height, COLORREF fill);
  ~Canvas();
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  HDC Dc() const { return m_dc; }
  int Width() const { return m_width; }
  int Height() const { return m_height; }
  // The pixel as RGB(r, g, b).
  COLORREF Pixel(int x, int y) const;
  // The client area of window as its window procedure paints it (WM_PRINTCLIENT).
  void PrintClient(HWND window);
  // The columns holding a pixel of another colour than the most common one (the background).
  std::set<int> InkColumns() const;

 private:
  int m_width;
  int m_height;
  HDC m_dc = nullptr;
  HBITMAP m_bitmap = nullptr;
  HGDIOBJ m_oldBitmap = nullptr;
  std::uint32_t* m_bits = nullptr;
};

// Readies the application object of the test process (once).
void InitializeApplication();

}  // namespace quillet::testing
