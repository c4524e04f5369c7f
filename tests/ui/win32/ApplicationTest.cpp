// The application object's loops and failure report, and the image list with its menu images.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "scan/Utf16.h"
#include "tests/ui/win32/Canvas.h"
#include "ui/Layouts.h"
#include "ui/win32/Application.h"
#include "ui/win32/Resource.h"
#include "ui/win32/Widgets.h"

namespace quillet {
namespace {

using testing::Canvas;

class ApplicationObject : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { testing::InitializeApplication(); }
};

int g_delivered = 0;

LRESULT CALLBACK CountingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_APP) ++g_delivered;
  return DefWindowProcW(window, message, wParam, lParam);
}

TEST_F(ApplicationObject, ProcessMessagesEmptiesTheQueueAndLeavesAQuitForTheOuterLoop) {
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = CountingProc;
  windowClass.hInstance = ProgramInstance();
  windowClass.lpszClassName = L"QuilletTestCounting";
  RegisterClassW(&windowClass);
  const HWND window = CreateWindowExW(0, windowClass.lpszClassName, L"", WS_POPUP, 0, 0, 1, 1,
                                      nullptr, nullptr, ProgramInstance(), nullptr);
  ASSERT_NE(window, nullptr);
  g_delivered = 0;
  PostMessageW(window, WM_APP, 0, 0);
  PostQuitMessage(7);
  PostMessageW(window, WM_APP, 0, 0);
  Application.ProcessMessages();
  EXPECT_EQ(g_delivered, 2);
  EXPECT_TRUE(Application.Terminated());
  MSG message{};
  ASSERT_TRUE(PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(message.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(message.wParam, 7u);
  DestroyWindow(window);
}

// What the message box showed, seen from a hook that closes it again.
struct ShownBox {
  int Count = 0;
  std::string Caption;
  std::string Text;
  bool ErrorIcon = false;
  bool CleanedUpBefore = false;
};
ShownBox g_box;
bool g_cleanedUp = false;
HHOOK g_hook = nullptr;

LRESULT CALLBACK CloseMessageBox(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_ACTIVATE) {
    const HWND box = reinterpret_cast<HWND>(wParam);
    wchar_t className[32] = {};
    GetClassNameW(box, className, 32);
    if (std::wstring_view(className) == L"#32770") {
      ++g_box.Count;
      g_box.Caption = WindowTextOf(box);
      g_box.Text = WindowTextOf(GetDlgItem(box, 0xFFFF));
      // The icon is the box's SS_ICON static, whatever its id.
      for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if ((GetWindowLongPtrW(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON) continue;
        const LRESULT icon = SendMessageW(child, STM_GETICON, 0, 0);
        g_box.ErrorIcon = icon == reinterpret_cast<LRESULT>(LoadIconW(nullptr, IDI_ERROR));
      }
      g_box.CleanedUpBefore = g_cleanedUp;
      PostMessageW(box, WM_COMMAND, IDOK, 0);
    }
  }
  return CallNextHookEx(g_hook, code, wParam, lParam);
}

TEST_F(ApplicationObject, RunGuardedShowsAnEscapedFailureAfterTheCleanUpAndGoesOn) {
  struct CleanUp {
    ~CleanUp() { g_cleanedUp = true; }
  };
  struct Case {
    const char* Name;
    void (*Throw)();
    const char* Shown;  // nullptr: no box
  };
  const Case cases[] = {
      {"runtime_error", [] { throw std::runtime_error("フォルダ & disk"); }, "フォルダ & disk"},
      {"not an exception", [] { throw 42; }, "Unknown failure."},
      {"no failure", [] {}, nullptr},
  };
  g_hook = SetWindowsHookExW(WH_CBT, CloseMessageBox, nullptr, GetCurrentThreadId());
  ASSERT_NE(g_hook, nullptr);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    g_box = {};
    g_cleanedUp = false;
    bool after = false;
    Application.RunGuarded([&] {
      CleanUp cleanUp;
      c.Throw();
      after = true;
    });
    EXPECT_EQ(after, c.Shown == nullptr);
    EXPECT_TRUE(g_cleanedUp);
    if (c.Shown == nullptr) {
      EXPECT_EQ(g_box.Count, 0);
      continue;
    }
    EXPECT_EQ(g_box.Count, 1);
    EXPECT_EQ(g_box.Caption, Application.Title);
    EXPECT_EQ(g_box.Text, c.Shown);
    EXPECT_TRUE(g_box.ErrorIcon);
    EXPECT_TRUE(g_box.CleanedUpBefore);
  }
  UnhookWindowsHookEx(g_hook);
}

// The image list and the menu images draw each picture over what is behind it: transparent
// pixels leave the background (a blank picture draws nothing), opaque ones their colour. The
// pictures are read a second way, by Windows' own bitmap loader, for the expected colours.
TEST_F(ApplicationObject, ImagesDrawOverTheirBackgroundAtEveryScale) {
  constexpr COLORREF kBackground = RGB(255, 0, 255);
  const auto blend = [](std::uint32_t pixel) {
    const int alpha = static_cast<int>(pixel >> 24);
    const auto mix = [&](int channel, int behind) {
      return (channel * alpha + behind * (255 - alpha) + 127) / 255;
    };
    return RGB(mix((pixel >> 16) & 0xFF, 255), mix((pixel >> 8) & 0xFF, 0), mix(pixel & 0xFF, 255));
  };
  const auto similar = [](COLORREF a, COLORREF b) {
    const auto close = [](int x, int y) { return x - y <= 3 && y - x <= 3; };
    return close(GetRValue(a), GetRValue(b)) && close(GetGValue(a), GetGValue(b)) &&
           close(GetBValue(a), GetBValue(b));
  };
  for (const UINT dpi : {96u, 192u}) {
    const int factor = static_cast<int>(dpi / 96);
    const ImageList list = CreateMainImageList(dpi);
    ASSERT_TRUE(list);
    ASSERT_EQ(ImageList_GetImageCount(list.Get()), layout::kImageCount);
    int width = 0;
    int height = 0;
    ImageList_GetIconSize(list.Get(), &width, &height);
    ASSERT_EQ(width, 16 * factor);
    ASSERT_EQ(height, 16 * factor);
    for (int index = 0; index < layout::kImageCount; ++index) {
      SCOPED_TRACE("dpi " + std::to_string(dpi) + ", image " + std::to_string(index));
      const HBITMAP loaded = static_cast<HBITMAP>(
          LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDB_IMAGE_FIRST + index),
                     IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
      ASSERT_NE(loaded, nullptr);
      DIBSECTION section{};
      ASSERT_EQ(GetObjectW(loaded, sizeof section, &section), static_cast<int>(sizeof section));
      ASSERT_EQ(section.dsBm.bmBitsPixel, 32);
      const auto source = [&](int x, int y) {
        const int row = section.dsBmih.biHeight > 0 ? 15 - y : y;
        return static_cast<const std::uint32_t*>(section.dsBm.bmBits)[row * 16 + x];
      };

      Canvas drawn(width, height, kBackground);
      ImageList_Draw(list.Get(), index, drawn.Dc(), 0, 0, ILD_TRANSPARENT);
      Canvas menu(width, height, kBackground);
      DrawCentredImage(menu.Dc(), list.Get(), index, {0, 0, width, height});

      int mismatches = 0;
      int opaque = 0;
      for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
          const std::uint32_t pixel = source(x / factor, y / factor);
          opaque += (pixel >> 24) == 255;
          const COLORREF expected = blend(pixel);
          mismatches +=
              !similar(drawn.Pixel(x, y), expected) || !similar(menu.Pixel(x, y), expected);
        }
      }
      EXPECT_EQ(mismatches, 0);
      EXPECT_EQ(opaque == 0, index == 7) << "only image 7 is blank";
      DeleteObject(loaded);
    }
  }
}

}  // namespace
}  // namespace quillet
