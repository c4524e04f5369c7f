// The version dialog: the About picture with white text lines over it.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "ui/Jpeg.h"
#include "ui/win32/Widgets.h"

namespace quillet {

// The About picture from the program's resources, decoded with libjpeg; Error says why when the
// resource is missing or damaged.
DecodedJpeg LoadAboutPicture();

class TFAboutBox {
 public:
  // Decodes the picture; the window is made by ShowModal or Create.
  TFAboutBox();
  ~TFAboutBox();
  TFAboutBox(const TFAboutBox&) = delete;
  TFAboutBox& operator=(const TFAboutBox&) = delete;

  // Shows the dialog modally over owner (disabled meanwhile) and returns once the user closed it
  // with its close box (Esc does not close it). The window is destroyed on return.
  void ShowModal(HWND owner);

  // The window without the modal loop, shown, centred on the screen; for tests. Destroy ends it.
  HWND Create(HWND owner);
  void Destroy();
  HWND Handle() const { return m_hwnd; }
  const DecodedJpeg& Picture() const { return m_picture; }

 private:
  struct Label {
    RECT Rect{};
    std::wstring Text;
    HFONT Font = nullptr;  // one of m_fonts
  };

  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void Layout(UINT dpi);
  void Paint(HDC dc) const;

  HWND m_hwnd = nullptr;
  HWND m_owner = nullptr;
  bool m_modal = false;
  DecodedJpeg m_picture;
  std::vector<std::uint8_t> m_pixels;  // the picture as a bottom-up 24-bit DIB
  BITMAPINFO m_pixelsInfo{};
  RECT m_pictureRect{};
  std::vector<Label> m_labels;
  std::vector<GdiObject<HFONT>> m_fonts;
};

}  // namespace quillet
