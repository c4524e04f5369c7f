// Small pieces every window of the Windows program builds its controls with: the program's
// module and window classes, the one way a window procedure finds its object, command ids, DPI
// scaling of the layout tables, their fonts, GDI handles held by RAII, and the image list.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ui/Layouts.h"

namespace quillet {

// Owns one GDI object (HFONT, HBITMAP, HBRUSH, ...) and deletes it with DeleteObject.
template <class T>
class GdiObject {
 public:
  GdiObject() = default;
  explicit GdiObject(T handle) : m_handle(handle) {}
  GdiObject(GdiObject&& other) noexcept : m_handle(std::exchange(other.m_handle, nullptr)) {}
  GdiObject& operator=(GdiObject&& other) noexcept {
    if (this != &other) Reset(std::exchange(other.m_handle, nullptr));
    return *this;
  }
  GdiObject(const GdiObject&) = delete;
  GdiObject& operator=(const GdiObject&) = delete;
  ~GdiObject() { Reset(); }

  T Get() const { return m_handle; }
  explicit operator bool() const { return m_handle != nullptr; }
  void Reset(T handle = nullptr) {
    if (m_handle) DeleteObject(m_handle);
    m_handle = handle;
  }

 private:
  T m_handle = nullptr;
};

// Keeps font selected into a DC for its lifetime, and the DC's font before it after.
class SelectedFont {
 public:
  SelectedFont(HDC dc, HFONT font) : m_dc(dc), m_old(SelectObject(dc, font)) {}
  ~SelectedFont() { SelectObject(m_dc, m_old); }
  SelectedFont(const SelectedFont&) = delete;
  SelectedFont& operator=(const SelectedFont&) = delete;

 private:
  HDC m_dc;
  HGDIOBJ m_old;
};

// Owns an image list (ImageList_Destroy).
class ImageList {
 public:
  ImageList() = default;
  explicit ImageList(HIMAGELIST handle) : m_handle(handle) {}
  ImageList(ImageList&& other) noexcept : m_handle(std::exchange(other.m_handle, nullptr)) {}
  ImageList& operator=(ImageList&& other) noexcept;
  ImageList(const ImageList&) = delete;
  ImageList& operator=(const ImageList&) = delete;
  ~ImageList();

  HIMAGELIST Get() const { return m_handle; }
  explicit operator bool() const { return m_handle != nullptr; }

 private:
  HIMAGELIST m_handle = nullptr;
};

// A function that newer Windows versions added, found at run time so the program still starts
// where it is missing; nullptr there. module must be loaded already (user32.dll, gdi32.dll).
template <class Function>
Function SystemFunction(const wchar_t* module, const char* name) {
  const HMODULE handle = GetModuleHandleW(module);
  if (handle == nullptr) return nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(handle, name)));
}

// The width of text in window's device context with font, or with the window's own font (the
// system's GUI font where it has none) when font is null; 0 when the window has no context.
int TextWidth(HWND window, HFONT font, std::wstring_view text);

// The program's own module, its executable: every window class of the program is registered
// under it and every resource is loaded from it.
inline HINSTANCE ProgramInstance() {
  return GetModuleHandleW(nullptr);
}

// A menu item's or tool button's id (WM_COMMAND, TrackPopupMenuEx) is its command's value.
constexpr UINT CommandId(layout::Command command) {
  return static_cast<UINT>(command);
}
// The command an id of a menu item or tool button names; nothing for any other id, 0 included.
constexpr std::optional<layout::Command> CommandOfId(UINT id) {
  if (id == 0 || id > CommandId(layout::kLastCommand)) return std::nullopt;
  return static_cast<layout::Command>(id);
}

// The layout tables are in pixels at 96 DPI; every window scales them by its own DPI.
inline constexpr UINT kDesignDpi = layout::kDesignDpi;

// The DPI of the monitor the window is on (GetDpiForWindow where Windows has it, else the
// screen's). Never 0.
UINT WindowDpi(HWND window);
// The DPI of the primary screen, for windows not yet created.
UINT ScreenDpi();
int Scale(int pixels, UINT dpi);
RECT ScaleRect(const layout::Rect& rect, UINT dpi);

// Asks for per-monitor DPI awareness at run time, for where the manifest is not read (the calls
// exist from Windows 10 and 8.1 on; older systems keep the manifest's system awareness).
void EnablePerMonitorDpiAwareness();

// The outer size of a window with the given styles whose client area is the table's size,
// scaled to dpi.
SIZE WindowSizeForClient(int clientWidth, int clientHeight, DWORD style, DWORD exStyle, UINT dpi);

// The object a window of this program's belongs to, the one way every window procedure of the
// program finds it: kept in GWLP_USERDATA, where a window of the program's own classes puts its
// create parameter at WM_NCCREATE (nullptr for the few messages before it) and SubclassControl
// puts a control's.
template <typename Object>
Object* WindowObject(HWND window, UINT message, LPARAM lParam) {
  if (message != WM_NCCREATE)
    return reinterpret_cast<Object*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  auto* object = static_cast<Object*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
  ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(object));
  return object;
}

// Makes a common control call procedure first, with object as the control's own (WindowObject
// finds it). Returns the control's procedure, which procedure hands the messages on to.
template <typename Object>
WNDPROC SubclassControl(HWND control, WNDPROC procedure, Object& object) {
  ::SetWindowLongPtrW(control, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&object));
  return reinterpret_cast<WNDPROC>(
      ::SetWindowLongPtrW(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(procedure)));
}

// WM_PAINT or WM_PRINTCLIENT of a window that draws itself with paint(dc).
template <typename Paint>
void PaintMessage(HWND window, UINT message, WPARAM wParam, Paint paint) {
  if (message == WM_PRINTCLIENT) {
    paint(reinterpret_cast<HDC>(wParam));
    return;
  }
  PAINTSTRUCT session;
  paint(::BeginPaint(window, &session));
  ::EndPaint(window, &session);
}

// WM_DPICHANGED's move to the place the system suggests; the size follows from the new layout.
inline void MoveToSuggested(HWND window, LPARAM lParam) {
  const RECT& suggested = *reinterpret_cast<const RECT*>(lParam);
  ::SetWindowPos(window, nullptr, suggested.left, suggested.top, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// Registers a window class of this program's once (a second call finds it there): the dialog
// face's background, the given cursor, and the icon resource iconId where it is not 0 (its
// default size and the small one), with the class styles style (CS_DBLCLKS, ...).
void RegisterWindowClass(const wchar_t* name, WNDPROC procedure, LPCWSTR cursor = IDC_ARROW,
                         int iconId = 0, UINT style = 0);

// A tool bar in a band of a re-bar: flat, transparent, placed and sized by its band.
inline constexpr DWORD kBandToolBarStyle = WS_CHILD | WS_VISIBLE | TBSTYLE_FLAT |
                                           TBSTYLE_TRANSPARENT | CCS_NODIVIDER | CCS_NOPARENTALIGN |
                                           CCS_NORESIZE;
// The button of a tool bar under a mouse message's point (its lParam); nothing over a separator
// or beside the buttons.
std::optional<TBBUTTON> ButtonAt(HWND toolBar, LPARAM point);

// Moves the window to the middle of the primary monitor's work area.
void CenterOnScreen(HWND window);

// A font of the tables at dpi: a negative height is the character height in pixels. The
// Japanese faces get the Shift-JIS character set, the others (Tahoma) ANSI.
GdiObject<HFONT> CreateTableFont(const layout::Font& font, UINT dpi);
BYTE FontCharset(std::string_view face);

// The window's text, as UTF-8.
std::string WindowTextOf(HWND window);

// A resource of the running module; empty when it is missing.
std::span<const std::byte> ResourceBytes(int id, const wchar_t* type);

// A picture as 32-bit pixels 0xAARRGGBB, straight (not premultiplied) alpha, rows top down.
struct RgbaImage {
  int Width = 0;
  int Height = 0;
  std::vector<std::uint32_t> Pixels;
};

// Picture i of the image list from the module's resources (a 32-bit bitmap); nothing when the
// resource is missing or not a 32-bit uncompressed bitmap.
std::optional<RgbaImage> LoadListImage(int index);
// The picture scaled to width x height, each target pixel taken from the nearest source pixel
// (sharp edges at 150% and 200%).
RgbaImage ScaleNearest(const RgbaImage& image, int width, int height);

// The side of the image list's square images at dpi (16 at 96 DPI).
int ListImageSize(UINT dpi);
// The image list of both lists, the tool bars and the menus: every picture at dpi, 32-bit with
// a mask made from the alpha channel, so a fully transparent picture draws as nothing.
ImageList CreateMainImageList(UINT dpi);

// The system's menu or status-bar face and size at dpi, asking for the Japanese character set:
// the texts are Japanese, and where the system's face has no kanji (a plain wine, a system of
// another language) that request is what finds a face that has them.
enum class SystemFont { Menu, Status };
GdiObject<HFONT> CreateJapaneseSystemFont(SystemFont which, UINT dpi);

// Draws picture image of the list centred in area; nothing for kNoImage.
void DrawCentredImage(HDC dc, HIMAGELIST images, int image, const RECT& area);

}  // namespace quillet
