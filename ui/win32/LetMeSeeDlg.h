// The progress dialog of the long commands: two text lines, an activity mark and Cancel.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

#include "lists/Frontend.h"
#include "ui/win32/Widgets.h"

namespace quillet {

class TFLetMeSeeDlg : public ProgressSink {
 public:
  // Creates the dialog, hidden, owned by owner (nullptr: by the application object). It is
  // modeless, stays on top and is translucent where Windows offers layered windows.
  explicit TFLetMeSeeDlg(HWND owner = nullptr);
  // Destroys the window if Close has not.
  ~TFLetMeSeeDlg() override;
  TFLetMeSeeDlg(const TFLetMeSeeDlg&) = delete;
  TFLetMeSeeDlg& operator=(const TFLetMeSeeDlg&) = delete;

  // Centres the dialog on the screen and shows it with the focus on Cancel (FormShow runs).
  void Show() override;
  // The texts are UTF-8; a name that is not valid UTF-16 shows U+FFFD where it holds no
  // character. Without repaint and pump the call only keeps the texts: the labels show them at
  // the next call that repaints or pumps.
  bool UpdateProgress(std::string_view mainText, std::string_view subText, bool repaint,
                      bool pump) override;
  // Destroys the window; later updates change nothing on the screen.
  void Close() override;

  // Show handler: Cancelled := false.
  void FormShow();
  // Click handler of btnCancel (also Esc, Enter and a close by the system): Cancelled := true.
  // The dialog stays open.
  void btnCancelClick();

  bool IsCancelled() const { return m_cancelled; }
  HWND Handle() const { return m_hwnd; }
  HWND lblMainCaption() const { return m_lblMainCaption; }
  HWND lblSubCaption() const { return m_lblSubCaption; }
  HWND lblRunning() const { return m_lblRunning; }
  HWND btnCancel() const { return m_btnCancel; }
  // What the labels show, as UTF-8.
  std::string MainCaption() const { return WindowTextOf(m_lblMainCaption); }
  std::string SubCaption() const { return WindowTextOf(m_lblSubCaption); }
  std::string Running() const { return WindowTextOf(m_lblRunning); }

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void CreateControls();
  void Layout(UINT dpi);
  void Paint(HDC dc) const;
  void ShowTexts();

  HWND m_hwnd = nullptr;
  HWND m_lblMainCaption = nullptr;
  HWND m_lblSubCaption = nullptr;
  HWND m_lblRunning = nullptr;
  HWND m_btnCancel = nullptr;
  RECT m_bvlMain{};
  GdiObject<HFONT> m_font;
  std::vector<GdiObject<HFONT>> m_controlFonts;  // controls with a font of their own
  bool m_cancelled = false;
  // The texts as last given, and as the labels last showed them.
  std::string m_mainText;
  std::string m_subText;
  std::string m_mark;
  std::string m_shownMain;
  std::string m_shownSub;
  std::string m_shownMark;
};

}  // namespace quillet
