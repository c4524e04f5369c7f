#include "ui/win32/AboutBox.h"

#include <cstring>

#include "scan/Utf16.h"
#include "ui/Layouts.h"
#include "ui/win32/Application.h"
#include "ui/win32/Resource.h"

namespace quillet {
namespace {

constexpr wchar_t kWindowClass[] = L"QuilletAboutBox";
// Dialog border with a caption and the close box; not resizable.
constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU;
constexpr DWORD kExStyle = WS_EX_DLGMODALFRAME;

}  // namespace

DecodedJpeg LoadAboutPicture() {
  const std::span<const std::byte> bytes = ResourceBytes(IDR_ABOUT_PICTURE, RT_RCDATA);
  if (bytes.empty()) {
    DecodedJpeg missing;
    missing.Error = "the About picture is missing from the resources";
    return missing;
  }
  return DecodeJpeg(bytes);
}

TFAboutBox::TFAboutBox() : m_picture(LoadAboutPicture()) {
  if (!m_picture.Ok()) return;
  // A bottom-up 24-bit DIB: rows of blue, green, red, each padded to 4 bytes.
  const int width = m_picture.Width;
  const int height = m_picture.Height;
  const std::size_t stride = (static_cast<std::size_t>(width) * 3 + 3) / 4 * 4;
  m_pixels.assign(stride * static_cast<std::size_t>(height), 0);
  for (int y = 0; y < height; ++y) {
    const std::uint8_t* source =
        m_picture.Rgb.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width) * 3;
    std::uint8_t* target = m_pixels.data() + stride * static_cast<std::size_t>(height - 1 - y);
    for (int x = 0; x < width; ++x, source += 3, target += 3) {
      target[0] = source[2];
      target[1] = source[1];
      target[2] = source[0];
    }
  }
  BITMAPINFOHEADER& header = m_pixelsInfo.bmiHeader;
  header.biSize = sizeof header;
  header.biWidth = width;
  header.biHeight = height;
  header.biPlanes = 1;
  header.biBitCount = 24;
  header.biCompression = BI_RGB;
}

TFAboutBox::~TFAboutBox() {
  Destroy();
}

HWND TFAboutBox::Create(HWND owner) {
  if (m_hwnd) return m_hwnd;
  RegisterWindowClass(kWindowClass, &TFAboutBox::WindowProc);
  m_owner = owner;
  const std::wstring caption = ToUtf16<wchar_t>(layout::kAboutBox.Caption);
  CreateWindowExW(kExStyle, kWindowClass, caption.c_str(), kStyle, 0, 0, 0, 0,
                  owner ? owner : Application.Handle(), nullptr, ProgramInstance(), this);
  if (m_hwnd == nullptr) return nullptr;
  Layout(WindowDpi(m_hwnd));
  CenterOnScreen(m_hwnd);
  ShowWindow(m_hwnd, SW_SHOW);
  UpdateWindow(m_hwnd);
  return m_hwnd;
}

void TFAboutBox::Destroy() {
  if (m_hwnd) DestroyWindow(m_hwnd);
}

void TFAboutBox::ShowModal(HWND owner) {
  // The owner is disabled before the box appears and enabled again before it goes, so the
  // activation returns to the owner and not to another program.
  const bool disableOwner = owner && IsWindowEnabled(owner);
  if (disableOwner) EnableWindow(owner, FALSE);
  m_modal = disableOwner;
  if (Create(owner)) {
    while (m_hwnd && Application.HandleMessage()) {
    }
  }
  if (disableOwner && !IsWindowEnabled(owner)) EnableWindow(owner, TRUE);
  m_modal = false;
  Destroy();
}

void TFAboutBox::Layout(UINT dpi) {
  const layout::Window& table = layout::kAboutBox;
  std::vector<GdiObject<HFONT>> fonts;
  fonts.push_back(CreateTableFont(table.TextFont, dpi));
  std::vector<Label> labels;
  for (const layout::Control& control : table.Controls) {
    const RECT rect = ScaleRect(control.Geometry, dpi);
    if (control.Kind == layout::ControlKind::Picture) {
      m_pictureRect = rect;
      continue;
    }
    Label label{rect, ToUtf16<wchar_t>(control.Caption), fonts.front().Get()};
    if (!control.TextFont.Face.empty()) {
      fonts.push_back(CreateTableFont(control.TextFont, dpi));
      label.Font = fonts.back().Get();
    }
    labels.push_back(std::move(label));
  }
  m_labels = std::move(labels);
  m_fonts = std::move(fonts);
  const SIZE size =
      WindowSizeForClient(table.ClientWidth, table.ClientHeight, kStyle, kExStyle, dpi);
  SetWindowPos(m_hwnd, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TFAboutBox::Paint(HDC dc) const {
  const RECT& area = m_pictureRect;
  if (m_pixels.empty()) {
    FillRect(dc, &area, GetSysColorBrush(COLOR_BTNFACE));
  } else {
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    // Scaled for a DPI above 96 with HALFTONE, which averages instead of dropping pixels.
    const bool scaled = width != m_picture.Width || height != m_picture.Height;
    const int oldMode = SetStretchBltMode(dc, scaled ? HALFTONE : COLORONCOLOR);
    if (scaled) SetBrushOrgEx(dc, 0, 0, nullptr);
    StretchDIBits(dc, area.left, area.top, width, height, 0, 0, m_picture.Width, m_picture.Height,
                  m_pixels.data(), &m_pixelsInfo, DIB_RGB_COLORS, SRCCOPY);
    SetStretchBltMode(dc, oldMode);
  }
  // The labels: white, on the picture, one line each, centred vertically.
  const int oldBackground = SetBkMode(dc, TRANSPARENT);
  const COLORREF oldColor = SetTextColor(dc, RGB(255, 255, 255));
  const HGDIOBJ oldFont = SelectObject(dc, m_fonts.empty() ? nullptr : m_fonts.front().Get());
  for (const Label& label : m_labels) {
    SelectObject(dc, label.Font);
    RECT rect = label.Rect;
    DrawTextW(dc, label.Text.c_str(), static_cast<int>(label.Text.size()), &rect,
              DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  }
  SelectObject(dc, oldFont);
  SetTextColor(dc, oldColor);
  SetBkMode(dc, oldBackground);
}

LRESULT CALLBACK TFAboutBox::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* box = WindowObject<TFAboutBox>(window, message, lParam);
  if (box == nullptr) return DefWindowProcW(window, message, wParam, lParam);
  if (message == WM_NCCREATE) box->m_hwnd = window;
  return box->HandleMessage(message, wParam, lParam);
}

LRESULT TFAboutBox::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_ERASEBKGND:
      return 1;  // the picture covers the client area
    case WM_PAINT:
    case WM_PRINTCLIENT:
      PaintMessage(m_hwnd, message, wParam, [this](HDC dc) { Paint(dc); });
      return 0;
    case WM_CLOSE:
      if (m_modal && m_owner) EnableWindow(m_owner, TRUE);
      DestroyWindow(m_hwnd);
      return 0;
    case WM_DPICHANGED: {
      Layout(HIWORD(wParam));
      MoveToSuggested(m_hwnd, lParam);
      InvalidateRect(m_hwnd, nullptr, FALSE);
      return 0;
    }
    case WM_NCDESTROY: {
      const HWND window = m_hwnd;
      SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      m_hwnd = nullptr;
      return DefWindowProcW(window, message, wParam, lParam);
    }
    default:
      break;
  }
  return DefWindowProcW(m_hwnd, message, wParam, lParam);
}

}  // namespace quillet
