#include "ui/win32/Widgets.h"

#include <windowsx.h>

#include <algorithm>
#include <array>
#include <cstring>

#include "scan/Utf16.h"
#include "ui/win32/Resource.h"

namespace quillet {
namespace {

using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using AdjustWindowRectExForDpiFn = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
using SetProcessDpiAwarenessContextFn = BOOL(WINAPI*)(HANDLE);
using SetProcessDpiAwareFn = BOOL(WINAPI*)();

// DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2 and _PER_MONITOR_AWARE, which the headers only
// declare for newer target versions.
const HANDLE kPerMonitorAwareV2 = reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-4));
const HANDLE kPerMonitorAware = reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-3));

constexpr std::array<std::string_view, 3> kJapaneseFaces{"ＭＳ Ｐゴシック", "ＭＳ ゴシック",
                                                         "MS UI Gothic"};

}  // namespace

ImageList& ImageList::operator=(ImageList&& other) noexcept {
  if (this != &other) {
    if (m_handle) ImageList_Destroy(m_handle);
    m_handle = std::exchange(other.m_handle, nullptr);
  }
  return *this;
}

ImageList::~ImageList() {
  if (m_handle) ImageList_Destroy(m_handle);
}

UINT ScreenDpi() {
  const HDC screen = GetDC(nullptr);
  const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
  if (screen) ReleaseDC(nullptr, screen);
  return dpi > 0 ? static_cast<UINT>(dpi) : kDesignDpi;
}

UINT WindowDpi(HWND window) {
  static const auto getDpiForWindow =
      SystemFunction<GetDpiForWindowFn>(L"user32.dll", "GetDpiForWindow");
  if (getDpiForWindow && window) {
    if (const UINT dpi = getDpiForWindow(window); dpi != 0) return dpi;
  }
  return ScreenDpi();
}

int TextWidth(HWND window, HFONT font, std::wstring_view text) {
  const HDC dc = GetDC(window);
  if (dc == nullptr) return 0;
  if (font == nullptr) font = reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0));
  if (font == nullptr) font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  SIZE extent = {};
  {
    const SelectedFont selected(dc, font);
    GetTextExtentPoint32W(dc, text.data(), static_cast<int>(text.size()), &extent);
  }
  ReleaseDC(window, dc);
  return extent.cx;
}

int Scale(int pixels, UINT dpi) {
  return layout::ScaleFromDesign(pixels, static_cast<int>(dpi));
}

RECT ScaleRect(const layout::Rect& rect, UINT dpi) {
  const int left = Scale(rect.Left, dpi);
  const int top = Scale(rect.Top, dpi);
  return {left, top, left + Scale(rect.Width, dpi), top + Scale(rect.Height, dpi)};
}

void EnablePerMonitorDpiAwareness() {
  // Where the manifest already made the process aware these calls fail, which is fine.
  if (const auto setContext = SystemFunction<SetProcessDpiAwarenessContextFn>(
          L"user32.dll", "SetProcessDpiAwarenessContext")) {
    if (!setContext(kPerMonitorAwareV2)) setContext(kPerMonitorAware);
    return;
  }
  if (const auto setAware =
          SystemFunction<SetProcessDpiAwareFn>(L"user32.dll", "SetProcessDPIAware")) {
    setAware();
  }
}

SIZE WindowSizeForClient(int clientWidth, int clientHeight, DWORD style, DWORD exStyle, UINT dpi) {
  RECT rect{0, 0, Scale(clientWidth, dpi), Scale(clientHeight, dpi)};
  static const auto adjustForDpi =
      SystemFunction<AdjustWindowRectExForDpiFn>(L"user32.dll", "AdjustWindowRectExForDpi");
  if (adjustForDpi) {
    adjustForDpi(&rect, style, FALSE, exStyle, dpi);
  } else {
    AdjustWindowRectEx(&rect, style, FALSE, exStyle);
  }
  return {rect.right - rect.left, rect.bottom - rect.top};
}

void RegisterWindowClass(const wchar_t* name, WNDPROC procedure, LPCWSTR cursor, int iconId,
                         UINT style) {
  const HINSTANCE instance = ProgramInstance();
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  if (GetClassInfoExW(instance, name, &windowClass)) return;
  windowClass.cbSize = sizeof windowClass;
  windowClass.style = style;
  windowClass.lpfnWndProc = procedure;
  windowClass.hInstance = instance;
  if (iconId != 0) {
    windowClass.hIcon = static_cast<HICON>(
        LoadImageW(instance, MAKEINTRESOURCEW(iconId), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE));
    windowClass.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(iconId),
                                                        IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                                        GetSystemMetrics(SM_CYSMICON), 0));
  }
  windowClass.hCursor = LoadCursorW(nullptr, cursor);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = name;
  RegisterClassExW(&windowClass);
}

std::optional<TBBUTTON> ButtonAt(HWND toolBar, LPARAM point) {
  POINT at{GET_X_LPARAM(point), GET_Y_LPARAM(point)};
  const auto index =
      static_cast<int>(SendMessageW(toolBar, TB_HITTEST, 0, reinterpret_cast<LPARAM>(&at)));
  TBBUTTON button{};
  if (index < 0 || !SendMessageW(toolBar, TB_GETBUTTON, index, reinterpret_cast<LPARAM>(&button)) ||
      (button.fsStyle & BTNS_SEP) != 0) {
    return std::nullopt;
  }
  return button;
}

void CenterOnScreen(HWND window) {
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  if (!GetMonitorInfoW(MonitorFromPoint({0, 0}, MONITOR_DEFAULTTOPRIMARY), &monitor)) return;
  RECT bounds{};
  GetWindowRect(window, &bounds);
  const RECT& work = monitor.rcWork;
  const int width = bounds.right - bounds.left;
  const int height = bounds.bottom - bounds.top;
  SetWindowPos(window, nullptr, work.left + (work.right - work.left - width) / 2,
               work.top + (work.bottom - work.top - height) / 2, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

BYTE FontCharset(std::string_view face) {
  return std::ranges::find(kJapaneseFaces, face) != kJapaneseFaces.end() ? SHIFTJIS_CHARSET
                                                                         : ANSI_CHARSET;
}

GdiObject<HFONT> CreateTableFont(const layout::Font& font, UINT dpi) {
  const std::wstring face = ToUtf16<wchar_t>(font.Face);
  return GdiObject<HFONT>(CreateFontW(Scale(font.Height, dpi), 0, 0, 0, FW_NORMAL, FALSE, FALSE,
                                      FALSE, FontCharset(font.Face), OUT_DEFAULT_PRECIS,
                                      CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                      DEFAULT_PITCH | FF_DONTCARE, face.c_str()));
}

std::string WindowTextOf(HWND window) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(
      static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return ToUtf8(std::wstring_view(text));
}

std::span<const std::byte> ResourceBytes(int id, const wchar_t* type) {
  const HMODULE module = ProgramInstance();
  const HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), type);
  if (found == nullptr) return {};
  const HGLOBAL loaded = LoadResource(module, found);
  const void* data = loaded ? LockResource(loaded) : nullptr;
  if (data == nullptr) return {};
  return {static_cast<const std::byte*>(data), SizeofResource(module, found)};
}

std::optional<RgbaImage> LoadListImage(int index) {
  const std::span<const std::byte> bytes = ResourceBytes(IDB_IMAGE_FIRST + index, RT_BITMAP);
  BITMAPINFOHEADER header{};
  if (bytes.size() < sizeof header) return std::nullopt;
  std::memcpy(&header, bytes.data(), sizeof header);
  if (header.biSize < sizeof header || header.biBitCount != 32 || header.biCompression != BI_RGB ||
      header.biWidth <= 0 || header.biHeight == 0 || header.biWidth > 1024 ||
      header.biHeight > 1024 || header.biHeight < -1024) {
    return std::nullopt;
  }
  RgbaImage image;
  image.Width = header.biWidth;
  image.Height = header.biHeight < 0 ? -header.biHeight : header.biHeight;
  const std::size_t count = static_cast<std::size_t>(image.Width) * image.Height;
  const std::size_t offset = header.biSize + std::size_t{header.biClrUsed} * sizeof(RGBQUAD);
  if (offset > bytes.size() || bytes.size() - offset < count * 4) return std::nullopt;
  image.Pixels.resize(count);
  // 32-bit rows need no padding; a positive height means the bottom row comes first.
  const std::size_t rowBytes = static_cast<std::size_t>(image.Width) * 4;
  for (int y = 0; y < image.Height; ++y) {
    const int sourceRow = header.biHeight > 0 ? image.Height - 1 - y : y;
    std::memcpy(image.Pixels.data() + static_cast<std::size_t>(y) * image.Width,
                bytes.data() + offset + rowBytes * static_cast<std::size_t>(sourceRow), rowBytes);
  }
  return image;
}

RgbaImage ScaleNearest(const RgbaImage& image, int width, int height) {
  if (image.Width == width && image.Height == height) return image;
  RgbaImage scaled{width, height,
                   std::vector<std::uint32_t>(static_cast<std::size_t>(width) * height)};
  if (image.Pixels.empty()) return scaled;
  for (int y = 0; y < height; ++y) {
    const int sourceY = y * image.Height / height;
    for (int x = 0; x < width; ++x) {
      const int sourceX = x * image.Width / width;
      scaled.Pixels[static_cast<std::size_t>(y) * width + x] =
          image.Pixels[static_cast<std::size_t>(sourceY) * image.Width + sourceX];
    }
  }
  return scaled;
}

int ListImageSize(UINT dpi) {
  return Scale(16, dpi);
}

ImageList CreateMainImageList(UINT dpi) {
  const int size = ListImageSize(dpi);
  ImageList list(ImageList_Create(size, size, ILC_COLOR32 | ILC_MASK, layout::kImageCount, 0));
  if (!list) return list;

  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = size;
  info.bmiHeader.biHeight = -size;  // top down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  // Monochrome rows are padded to 16 bits; a set bit is a transparent pixel.
  const int maskStride = (size + 15) / 16 * 2;

  for (int index = 0; index < layout::kImageCount; ++index) {
    // A missing picture keeps its place as a blank one, so the indices of the others hold.
    RgbaImage image = ScaleNearest(LoadListImage(index).value_or(RgbaImage{}), size, size);
    std::vector<std::uint8_t> mask(static_cast<std::size_t>(maskStride) * size, 0);
    for (int y = 0; y < size; ++y) {
      for (int x = 0; x < size; ++x) {
        std::uint32_t& pixel = image.Pixels[static_cast<std::size_t>(y) * size + x];
        if ((pixel >> 24) != 0) continue;
        pixel = 0;  // the masked drawing ORs the colour in
        mask[static_cast<std::size_t>(y) * maskStride + x / 8] |=
            static_cast<std::uint8_t>(0x80u >> (x % 8));
      }
    }
    void* bits = nullptr;
    GdiObject<HBITMAP> color(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    GdiObject<HBITMAP> monochrome(CreateBitmap(size, size, 1, 1, mask.data()));
    if (!color || !monochrome) return ImageList();
    std::memcpy(bits, image.Pixels.data(), image.Pixels.size() * 4);
    GdiFlush();
    ImageList_Add(list.Get(), color.Get(), monochrome.Get());
  }
  return list;
}

GdiObject<HFONT> CreateJapaneseSystemFont(SystemFont which, UINT dpi) {
  using SystemParametersInfoForDpiFn = BOOL(WINAPI*)(UINT, UINT, void*, UINT, UINT);
  static const auto forDpi =
      SystemFunction<SystemParametersInfoForDpiFn>(L"user32.dll", "SystemParametersInfoForDpi");
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  LOGFONTW& font = which == SystemFont::Menu ? metrics.lfMenuFont : metrics.lfStatusFont;
  const bool atDpi = forDpi && forDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi);
  if (!atDpi) {
    // Older systems give the metrics at the screen's DPI only.
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
      font.lfHeight = MulDiv(font.lfHeight, static_cast<int>(dpi), static_cast<int>(ScreenDpi()));
    } else {
      font = LOGFONTW{};
      font.lfHeight = Scale(-12, dpi);
      font.lfWeight = FW_NORMAL;
    }
  }
  font.lfCharSet = SHIFTJIS_CHARSET;
  return GdiObject<HFONT>(CreateFontIndirectW(&font));
}

void DrawCentredImage(HDC dc, HIMAGELIST images, int image, const RECT& area) {
  int width = 0;
  int height = 0;
  if (image < 0 || image >= ImageList_GetImageCount(images) ||
      !ImageList_GetIconSize(images, &width, &height)) {
    return;
  }
  ImageList_Draw(images, image, dc, area.left + (area.right - area.left - width) / 2,
                 area.top + (area.bottom - area.top - height) / 2, ILD_TRANSPARENT);
}

}  // namespace quillet
