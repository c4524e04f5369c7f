// The main window of the Windows program: the re-bar with the command buttons and the menu, the
// two virtual list views over the row model, the treemap pane in the file list's place while it
// is shown, the splitter and the status bar. Every event goes
// to the shared command layer; the window keeps nothing of its own but controls.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "lists/Lists.h"
#include "ui/Commands.h"
#include "ui/Layouts.h"
#include "ui/ListViews.h"
#include "ui/Progress.h"
#include "ui/shell/Shell.h"
#include "ui/win32/MenuBand.h"
#include "ui/win32/MessageBoxes.h"
#include "ui/win32/TreemapView.h"
#include "ui/win32/Widgets.h"

namespace quillet {

class TFMain : private Frontend, private StatusBar, private ListObserver, private CommandWindow {
 public:
  // Creates the window (not yet shown) and runs FormCreate with firstArgument. services: where
  // opened paths, started programs and deletions go; the real shell when null.
  explicit TFMain(std::optional<std::string> firstArgument,
                  std::unique_ptr<shell::Services> services = nullptr);
  ~TFMain() override;
  TFMain(const TFMain&) = delete;
  TFMain& operator=(const TFMain&) = delete;

  HWND Handle() const { return m_hwnd; }
  HWND lvwResult() const { return m_lvw[0]; }
  HWND lvwFile() const { return m_lvw[1]; }
  HWND tbrMain() const { return m_tbrMain; }
  HWND tbrMenu() const { return m_menuBand->Handle(); }
  HWND cbrMain() const { return m_cbrMain; }
  HWND stbMain() const { return m_stbMain; }
  HWND Splitter1() const { return m_splitter; }
  // The treemap pane (hidden until 表示's check item shows it) and its tooltip.
  HWND pbxTreemap() const { return m_treemap->Handle(); }
  HWND TreemapTip() const { return m_treemap->ToolTip(); }
  ListsModel& Model() { return *m_model; }
  MainCommands& Commands() { return *m_commands; }
  // The text of a status panel as the program wrote it (UTF-8, without alignment tabs).
  std::string PanelText(quillet::StatusPanel panel) const;
  // The popup menu of a top-level entry (0 to 3), for tests and the keyboard.
  HMENU MenuOf(std::size_t entry) const { return m_menuBand->MenuOf(entry); }

  // See MenuBand::SetTracker.
  void SetMenuTracker(MenuBand::Tracker tracker) { m_menuBand->SetTracker(std::move(tracker)); }

  // Handlers that only a window has.
  void FormCreate(const std::optional<std::string>& firstArgument);
  // The rows of a saved scan, as --import gives it.
  void ImportScan(const std::string& path);
  void tmiHelpAboutClick();
  // The dropped-files message: every dropped path, whole, in drop order.
  void DropFiles(HDROP drop);
  // See MenuBand::DropMenu.
  void DropMenu(std::size_t entry, bool byKeyboard = false) {
    m_menuBand->DropMenu(entry, byKeyboard);
  }

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK ListProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK ToolBarProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK SplitterProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT OnNotify(const NMHDR& header);
  void OnCommand(UINT id);
  void Create();
  void BuildFonts();
  void BuildToolStrip();
  HWND BuildList(ListKind list, std::span<const layout::Column> columns);
  void BuildStatusBar();
  void SetPanelEdges();
  // Draws a right-aligned panel's text, which the status bar leaves to its owner: set by the
  // control itself, it would touch the divider.
  void DrawPanel(const DRAWITEMSTRUCT& draw);
  void Layout();
  void SizeColumns(ListKind list);
  void MoveSplitter(int fileListHeight);
  int Scaled(int pixels) const;
  std::size_t Slot(ListKind list) const { return list == ListKind::Result ? 0 : 1; }
  HWND View(ListKind list) const { return m_lvw[Slot(list)]; }
  // The lower pane shown now: the file list or the treemap.
  HWND LowerPane() const;
  // The keys the treemap hands here first, as the lists take them.
  bool TreemapKey(UINT message, WPARAM wParam, LPARAM lParam);
  ListKind ListOf(HWND view) const;
  void Guarded(const std::function<void()>& handler);
  // Copies the model's row count into a view.
  void ShowCount(ListKind list);
  // Replaces a view's selection by runs of rows.
  void ShowSelection(ListKind list, std::span<const SelectionHandover::Run> runs);
  // A selection the user made in a view, rows first .. last.
  void TakeSelection(ListKind list, int first, int last, bool selected);

  // Frontend
  std::unique_ptr<ProgressSink> CreateProgress() override;
  quillet::StatusBar& Status() override { return *this; }
  // StatusBar
  void SetPanelText(quillet::StatusPanel panel, std::string_view text) override;
  // ListObserver
  void BeginReset(ListKind) override {}
  void EndReset(ListKind list) override;
  void BeginAppend(ListKind, std::size_t, std::size_t) override {}
  void EndAppend(ListKind list) override;
  void BeginRemove(ListKind, std::size_t, std::size_t) override {}
  void EndRemove(ListKind list) override;
  void RowChanged(ListKind list, std::size_t index) override;
  void SelectionChanged(ListKind list) override;
  // CommandWindow
  void FocusResultList() override;
  void CloseMainWindow() override;
  void ShowAboutBox() override { tmiHelpAboutClick(); }
  void ShowTreemap(bool shown) override;
  void RepaintTreemap() override;

  HWND m_hwnd = nullptr;
  UINT m_dpi = 96;
  std::unique_ptr<shell::Services> m_services;
  WindowMessageBoxes m_boxes;
  std::unique_ptr<ListsModel> m_model;
  std::unique_ptr<MainCommands> m_commands;
  GdiObject<HFONT> m_font;
  GdiObject<HFONT> m_statusFont;  // the status bar's texts
  ImageList m_images;
  HWND m_cbrMain = nullptr;
  HWND m_tbrMain = nullptr;
  std::unique_ptr<MenuBand> m_menuBand;  // tbrMenu and the menus it drops
  std::array<HWND, 2> m_lvw{};
  HWND m_splitter = nullptr;
  std::unique_ptr<TreemapView> m_treemap;
  HWND m_stbMain = nullptr;
  std::array<std::string, kStatusPanelCount> m_panelTexts;
  // What the right-aligned panels draw; the status bar holds a pointer to each.
  std::array<std::wstring, kStatusPanelCount> m_drawnPanelTexts;
  std::array<int, kStatusPanelCount> m_panelWidths{};
  int m_widening = 0;        // pixels the result list's count columns grew beyond the design
  int m_fileListHeight = 0;  // unscaled, as the splitter left it
  // Where a drag of the splitter started: the cursor's y and the file list's height then.
  std::optional<std::pair<int, int>> m_drag;
  SelectionHandover m_selection;
  WNDPROC m_listProc = nullptr;
  WNDPROC m_toolBarProc = nullptr;
  // The progress dialogs of the commands running now; closing the window cancels them.
  ProgressRegistry m_progress;
};

}  // namespace quillet
