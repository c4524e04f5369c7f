// The progress dialog and the About box through their real windows.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scan/Utf16.h"
#include "tests/ui/win32/Canvas.h"
#include "ui/Layouts.h"
#include "ui/win32/AboutBox.h"
#include "ui/win32/Application.h"
#include "ui/win32/LetMeSeeDlg.h"

namespace quillet {
namespace {

using testing::Canvas;

class ProgressDialog : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { testing::InitializeApplication(); }
};

// Every way the user can cancel: it waits in the queue, the next update still answers go on
// (the flag is read before the messages are processed), the one after answers stop, and the
// dialog stays open until the command closes it.
TEST_F(ProgressDialog, CancelTakesEffectAtTheUpdateAfterTheOneThatProcessedIt) {
  struct Way {
    const char* Name;
    void (*Act)(TFLetMeSeeDlg&);
  };
  const Way ways[] = {
      {"Esc", [](TFLetMeSeeDlg&) { PostMessageW(GetFocus(), WM_KEYDOWN, VK_ESCAPE, 0x00010001); }},
      {"Enter",
       [](TFLetMeSeeDlg&) { PostMessageW(GetFocus(), WM_KEYDOWN, VK_RETURN, 0x001C0001); }},
      {"click", [](TFLetMeSeeDlg& d) { PostMessageW(d.btnCancel(), BM_CLICK, 0, 0); }},
      {"WM_CLOSE", [](TFLetMeSeeDlg& d) { PostMessageW(d.Handle(), WM_CLOSE, 0, 0); }},
      {"Alt+F4",
       [](TFLetMeSeeDlg& d) { PostMessageW(d.Handle(), WM_SYSKEYDOWN, VK_F4, 0x203E0001); }},
  };
  for (const Way& way : ways) {
    SCOPED_TRACE(way.Name);
    TFLetMeSeeDlg dialog;
    dialog.Show();
    ASSERT_TRUE(dialog.UpdateProgress("main", "first", true, true));
    // Cancel is the only control that takes the focus, and holds it.
    ASSERT_EQ(GetFocus(), dialog.btnCancel());
    way.Act(dialog);
    EXPECT_TRUE(dialog.UpdateProgress("main", "second", false, true));
    EXPECT_TRUE(dialog.Cancelled());
    EXPECT_FALSE(dialog.UpdateProgress("main", "third", false, true));
    EXPECT_TRUE(IsWindowVisible(dialog.Handle()));
    const HWND window = dialog.Handle();
    dialog.Close();
    EXPECT_FALSE(IsWindow(window));
  }
}

TEST_F(ProgressDialog, LabelsShowTheTextsAndTheMarkOnlyWhenRepaintingOrPumping) {
  TFLetMeSeeDlg dialog;
  dialog.Show();
  // Each row: repaint, pump, and the mark the labels show afterwards. Updates that neither
  // repaint nor pump still flip the mark; the labels show it at the next one that does.
  struct Step {
    bool Repaint;
    bool Pump;
    const char* Shown;
  };
  const Step steps[] = {{true, false, "+"},
                        {false, true, "*"},
                        {false, false, "*"},
                        {true, false, "*"},
                        {true, true, "+"}};
  int row = 0;
  for (const Step& step : steps) {
    const std::string sub = "row " + std::to_string(++row);
    dialog.UpdateProgress("main", sub, step.Repaint, step.Pump);
    EXPECT_EQ(dialog.Running(), step.Shown) << sub;
    if (step.Repaint || step.Pump) {
      EXPECT_EQ(dialog.SubCaption(), sub);
    }
  }
}

TEST_F(ProgressDialog, IsTranslucentWhereWindowsHasLayeredWindows) {
  using GetLayeredFn = BOOL(WINAPI*)(HWND, COLORREF*, BYTE*, DWORD*);
  const auto getLayered = SystemFunction<GetLayeredFn>(L"user32.dll", "GetLayeredWindowAttributes");
  if (getLayered == nullptr) GTEST_SKIP() << "no layered windows here";
  TFLetMeSeeDlg dialog;
  COLORREF key = 0;
  BYTE alpha = 0;
  DWORD flags = 0;
  ASSERT_TRUE(getLayered(dialog.Handle(), &key, &alpha, &flags));
  EXPECT_EQ(alpha, layout::kProgressOpacity);
  EXPECT_TRUE(flags & LWA_ALPHA);
}

// A label draws its text as DrawText does on one line with "&" taken literally: no accelerator
// underline, no wrapping to a second line, no ellipsis where it is cut.
TEST_F(ProgressDialog, LabelsShowTheTextLiterallyOnOneLineCutAtTheEdge) {
  TFLetMeSeeDlg dialog;
  dialog.Show();
  const std::string texts[] = {
      "a&b && c&",
      "x " + std::string(120, '&'),
      "D:\\Work\\写真 & 動画\\とても長いフォルダの名前がラベルの幅を越えて続いていく場合",
  };
  for (const std::string& text : texts) {
    SCOPED_TRACE(text);
    dialog.UpdateProgress(text, text, true, false);
    for (const HWND label : {dialog.lblMainCaption(), dialog.lblSubCaption()}) {
      RECT client{};
      GetClientRect(label, &client);
      Canvas shown(client.right, client.bottom, RGB(255, 255, 255));
      shown.PrintClient(label);

      Canvas expected(client.right, client.bottom, RGB(255, 255, 255));
      const HGDIOBJ old = SelectObject(
          expected.Dc(), reinterpret_cast<HFONT>(SendMessageW(label, WM_GETFONT, 0, 0)));
      const std::wstring wide = ToUtf16<wchar_t>(text);
      DrawTextW(expected.Dc(), wide.c_str(), static_cast<int>(wide.size()), &client,
                DT_LEFT | DT_SINGLELINE | DT_NOPREFIX);
      SelectObject(expected.Dc(), old);

      const std::set<int> ink = expected.InkColumns();
      ASSERT_FALSE(ink.empty());
      EXPECT_EQ(shown.InkColumns(), ink);
    }
  }
}

TEST_F(ProgressDialog, UpdatesAfterCloseAreHarmless) {
  TFLetMeSeeDlg dialog;
  dialog.Show();
  dialog.Close();
  EXPECT_EQ(dialog.Handle(), nullptr);
  EXPECT_TRUE(dialog.UpdateProgress("main", "sub", true, true));
}

class AboutBox : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { testing::InitializeApplication(); }
};

TEST_F(AboutBox, ShowsThePictureWithWhiteLabelsOverIt) {
  TFAboutBox box;
  ASSERT_TRUE(box.Picture().Ok()) << box.Picture().Error;
  ASSERT_NE(box.Create(nullptr), nullptr);
  RECT client{};
  GetClientRect(box.Handle(), &client);
  ASSERT_EQ(client.right, layout::kAboutBox.ClientWidth);
  ASSERT_EQ(client.bottom, layout::kAboutBox.ClientHeight);
  Canvas shown(client.right, client.bottom, RGB(255, 0, 255));
  shown.PrintClient(box.Handle());

  const DecodedJpeg& picture = box.Picture();
  const auto decoded = [&](int x, int y) {
    const std::uint8_t* p =
        picture.Rgb.data() + (static_cast<std::size_t>(y) * picture.Width + x) * 3;
    return RGB(p[0], p[1], p[2]);
  };
  // Points away from the labels: the corners, the folder drawings, the left and right margins.
  const POINT points[] = {{0, 0}, {319, 0}, {60, 45}, {160, 60}, {300, 110}, {3, 200}, {317, 239}};
  for (const POINT& p : points) {
    EXPECT_EQ(shown.Pixel(p.x, p.y), decoded(p.x, p.y)) << p.x << "," << p.y;
  }
  // Each label draws white text on the picture: the pixels it changes all got lighter, and
  // most of its rectangle still shows the picture.
  for (const layout::Control& control : layout::kAboutBox.Controls) {
    if (control.Kind != layout::ControlKind::Label) continue;
    SCOPED_TRACE(control.Name);
    const layout::Rect& r = control.Geometry;
    int changed = 0;
    int darker = 0;
    for (int y = r.Top; y < r.Top + r.Height; ++y) {
      for (int x = r.Left; x < r.Left + r.Width; ++x) {
        const COLORREF was = decoded(x, y);
        const COLORREF is = shown.Pixel(x, y);
        if (is == was) continue;
        ++changed;
        darker += GetRValue(is) < GetRValue(was) || GetGValue(is) < GetGValue(was) ||
                  GetBValue(is) < GetBValue(was);
      }
    }
    EXPECT_GT(changed, 30);
    EXPECT_LT(changed, r.Width * r.Height / 2);
    EXPECT_EQ(darker, 0);
  }
}

TEST_F(AboutBox, EscDoesNotCloseItTheCloseBoxDoesAndTheOwnerComesBack) {
  const HWND owner = CreateWindowExW(0, L"STATIC", L"owner", WS_POPUP | WS_VISIBLE, 0, 0, 100, 100,
                                     nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(owner, nullptr);
  TFAboutBox box;
  bool ownerDisabled = false;
  bool openAfterEsc = false;
  // The test acts from inside the modal loop: a thread message posted before it starts.
  Application.SetMessageFilter([&](MSG& message) {
    if (message.hwnd != nullptr || message.message != WM_APP) return false;
    ownerDisabled = !IsWindowEnabled(owner);
    SendMessageW(box.Handle(), WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    PostMessageW(box.Handle(), WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    Application.ProcessMessages();
    openAfterEsc = IsWindow(box.Handle()) && IsWindowVisible(box.Handle());
    PostMessageW(box.Handle(), WM_SYSCOMMAND, SC_CLOSE, 0);
    return true;
  });
  PostThreadMessageW(GetCurrentThreadId(), WM_APP, 0, 0);
  box.ShowModal(owner);
  Application.SetMessageFilter({});
  EXPECT_TRUE(ownerDisabled);
  EXPECT_TRUE(openAfterEsc);
  EXPECT_EQ(box.Handle(), nullptr);
  EXPECT_TRUE(IsWindowEnabled(owner));
  DestroyWindow(owner);
}

}  // namespace
}  // namespace quillet
