// The main window's menu: tbrMenu, a flat tool bar of the top-level entries' captions in a band
// of the re-bar, each dropping its items down below it, with a menu bar's keyboard. The items
// are drawn by the program, in the system's menu face with the Japanese character set, beside
// the image list's pictures.
#pragma once

#include <windows.h>

#include <array>
#include <cstddef>
#include <functional>
#include <optional>
#include <utility>

#include "ui/Layouts.h"
#include "ui/win32/Widgets.h"

namespace quillet {

class MenuBand {
 public:
  // Runs the command of a chosen item.
  using Runner = std::function<void(layout::Command command)>;
  // Tests see a dropped-down menu without its modal loop: called with the menu instead of
  // TrackPopupMenuEx, it returns the command id chosen (0 for none).
  using Tracker = std::function<UINT(HMENU menu, std::size_t entry)>;
  // Whether a check item's mark is shown; nullopt for a command that is no check item.
  using Checker = std::function<std::optional<bool>(layout::Command command)>;

  // Makes tbrMenu, a child of parent (the re-bar), with a button and a menu for each entry of
  // layout::kMainMenu, its captions in font. owner is the window the menus report to; it hands
  // the band the messages OnOwnerMessage takes. images is drawn beside the items and must
  // outlive the band, as must the windows.
  MenuBand(HWND owner, HWND parent, HFONT font, HIMAGELIST images, UINT dpi, Runner run);
  // Destroys the menus; tbrMenu goes with its parent.
  ~MenuBand();
  MenuBand(const MenuBand&) = delete;
  MenuBand& operator=(const MenuBand&) = delete;

  HWND Handle() const { return m_hwnd; }
  // Asked for every item's check mark each time a menu drops down.
  void SetChecker(Checker checker) { m_checker = std::move(checker); }
  // The popup menu of a top-level entry (0 to 3).
  HMENU MenuOf(std::size_t entry) const { return m_menus.at(entry); }
  void SetTracker(Tracker tracker) { m_tracker = std::move(tracker); }
  // The captions in font and the items' own font and metrics at dpi.
  void SetDpi(UINT dpi, HFONT font);

  // Drops the menu of a top-level entry below its button and runs the chosen item. Dropped from
  // the keyboard, its first item is highlighted, as a menu bar's is. Closed with Esc, it leaves
  // its entry marked; Left and Right drop the neighbouring entry instead.
  void DropMenu(std::size_t entry, bool byKeyboard = false);
  // Marks a top-level entry (hot, nothing dropped), or none.
  void MarkMenu(std::optional<std::size_t> entry);
  bool IsMarked() const { return m_mark.has_value(); }
  // While an entry is marked the focused list hands its messages here first: true for those the
  // menu took. False for every message while none is marked.
  bool OnMarkedMenu(UINT message, WPARAM wParam);
  // The owner's messages that are the menu's: tbrMenu's WM_COMMAND, Alt alone and with a letter
  // (WM_SYSCOMMAND, WM_SYSCHAR), and the items' WM_MEASUREITEM, WM_DRAWITEM and WM_MENUCHAR.
  // The message's result, or nothing where the band did not take it.
  std::optional<LRESULT> OnOwnerMessage(UINT message, WPARAM wParam, LPARAM lParam);

 private:
  static LRESULT CALLBACK ToolBarProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK MenuFilter(int code, WPARAM wParam, LPARAM lParam);
  void BuildButtons(HWND parent, HFONT font);
  void BuildMenus();
  bool OnSysChar(wchar_t letter);
  LRESULT OnMenuChar(HMENU menu, wchar_t letter) const;
  // Shows the entry's menu below button (screen coordinates) in its modal loop and returns the
  // command id chosen, 0 for none.
  UINT Track(std::size_t entry, bool byKeyboard, const RECT& button);
  void UpdateChecks(std::size_t entry) const;

  HWND m_owner;
  HWND m_hwnd = nullptr;
  HIMAGELIST m_images;
  UINT m_dpi;
  Runner m_run;
  Tracker m_tracker;
  Checker m_checker;
  WNDPROC m_toolBarProc = nullptr;
  GdiObject<HFONT> m_itemFont;  // the dropped menus' items
  std::array<HMENU, 4> m_menus{};
  std::optional<std::size_t> m_mark;  // the entry Alt alone marked
  // What the keyboard did in the dropped menu's own loop, seen by MenuFilter: Left (-1) or
  // Right (1) to the neighbouring entry, or Esc.
  int m_step = 0;
  bool m_escaped = false;
};

}  // namespace quillet
