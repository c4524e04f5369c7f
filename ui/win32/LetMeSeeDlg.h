// The progress dialog of the long commands: two text lines, an activity mark and Cancel.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

#include "ui/Progress.h"
#include "ui/win32/Widgets.h"

namespace quillet {

// The labels get the texts and the mark only when the dialog repaints or pumps.
class TFLetMeSeeDlg : public Progress {
 public:
  // Creates the dialog, hidden, owned by owner (nullptr: by the application object). It is
  // modeless, stays on top and is translucent where Windows offers layered windows. registry, if
  // any, knows the dialog while it lives (the main window's, which cancels it).
  explicit TFLetMeSeeDlg(HWND owner = nullptr, ProgressRegistry* registry = nullptr);
  // Destroys the window if Close has not.
  ~TFLetMeSeeDlg() override;

  HWND Handle() const { return m_hwnd; }
  HWND lblMainCaption() const { return m_lblMainCaption; }
  HWND lblSubCaption() const { return m_lblSubCaption; }
  HWND lblRunning() const { return m_lblRunning; }
  HWND btnCancel() const { return m_btnCancel; }
  // What the labels show, as UTF-8.
  std::string MainCaption() const { return WindowTextOf(m_lblMainCaption); }
  std::string SubCaption() const { return WindowTextOf(m_lblSubCaption); }
  std::string Running() const { return WindowTextOf(m_lblRunning); }

 protected:
  // Progress. ShowDialog centres the dialog on the screen and shows it with the focus on Cancel.
  // The texts are UTF-8; a name that is not valid UTF-16 shows U+FFFD where it holds no
  // character. CloseDialog destroys the window; later updates change nothing on the screen.
  void ShowDialog() override;
  void Repaint() override;
  void Pump() override;
  void CloseDialog() override;

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void CreateControls();
  void Layout(UINT dpi);
  void Paint(HDC dc) const;
  // Gives the labels the last update's texts and mark, those that changed.
  void ShowLabels();

  HWND m_hwnd = nullptr;
  HWND m_lblMainCaption = nullptr;
  HWND m_lblSubCaption = nullptr;
  HWND m_lblRunning = nullptr;
  HWND m_btnCancel = nullptr;
  RECT m_bvlMain{};
  GdiObject<HFONT> m_font;
  std::vector<GdiObject<HFONT>> m_controlFonts;  // controls with a font of their own
  // The texts as the labels last showed them.
  std::string m_shownMain;
  std::string m_shownSub;
  std::string m_shownMark;
};

}  // namespace quillet
