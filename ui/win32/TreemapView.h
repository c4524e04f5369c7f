// The main window's treemap pane: a child window that blits the shared pane's picture at device
// pixels, frames the selected file, shows the path and size under the pointer in a tooltip, and
// hands clicks, double-clicks and Enter to the commands.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "ui/Commands.h"

namespace quillet {

class TreemapView {
 public:
  // What the owner takes from the pane's messages first (Tab, the marked menu's keys); true
  // when it took the message.
  using KeyFilter = std::function<bool(UINT message, WPARAM wParam, LPARAM lParam)>;

  // Creates the pane, hidden, as a child of parent, with its tooltip. The commands must outlive
  // the pane.
  TreemapView(HWND parent, MainCommands& commands, KeyFilter keys);
  ~TreemapView();
  TreemapView(const TreemapView&) = delete;
  TreemapView& operator=(const TreemapView&) = delete;

  HWND Handle() const { return m_hwnd; }
  HWND ToolTip() const { return m_tip; }
  // Draws the pane again at the next paint.
  void Repaint() const;
  // Shows or hides the pane; hidden, its tooltip goes too.
  void Show(bool shown);

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
  // The picture at the client size, then the selected file's frame.
  void Paint(HDC dc);
  // The tooltip follows the pointer at (x, y) with the text of what is drawn there.
  void Hover(int x, int y);
  void HideTip();

  HWND m_hwnd = nullptr;
  HWND m_tip = nullptr;
  MainCommands& m_commands;
  KeyFilter m_keys;
  std::wstring m_tipText;   // what the tooltip shows now; empty while it is hidden
  bool m_tracking = false;  // the pointer's leaving is asked for
};

}  // namespace quillet
