// The main window of the Windows program: the re-bar with the command buttons and the menu, the
// two virtual list views over the row model, the splitter and the status bar. Every event goes
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
#include "ui/shell/Shell.h"
#include "ui/win32/MenuBand.h"
#include "ui/win32/Widgets.h"

namespace quillet {

// Answers the deletion question instead of a modal box (tests).
using YesNoAsker = std::function<bool(std::string_view text, std::string_view caption)>;
// Receives a warning instead of a modal box (tests).
using WarningNotifier = std::function<void(std::string_view text)>;

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
  ListsModel& Model() { return *m_model; }
  MainCommands& Commands() { return *m_commands; }
  // The text of a status panel as the program wrote it (UTF-8, without alignment tabs).
  std::string PanelText(quillet::StatusPanel panel) const;
  // The popup menu of a top-level entry (0 to 3), for tests and the keyboard.
  HMENU MenuOf(std::size_t entry) const { return m_menuBand->MenuOf(entry); }

  void SetAsker(YesNoAsker asker) { m_asker = std::move(asker); }
  void SetNotifier(WarningNotifier notifier) { m_notifier = std::move(notifier); }
  // See MenuBand::SetTracker.
  void SetMenuTracker(MenuBand::Tracker tracker) { m_menuBand->SetTracker(std::move(tracker)); }

  // Handlers that only a window has.
  void FormCreate(const std::optional<std::string>& firstArgument);
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
  void Layout();
  void SizeColumns(ListKind list);
  void MoveSplitter(int fileListHeight);
  int Scaled(int pixels) const;
  std::size_t Slot(ListKind list) const { return list == ListKind::Result ? 0 : 1; }
  HWND View(ListKind list) const { return m_lvw[Slot(list)]; }
  ListKind ListOf(HWND view) const;
  void Guarded(const std::function<void()>& handler);
  // Copies the model's rows and selection into a view.
  void ShowCount(ListKind list);
  void ShowSelection(ListKind list);
  void TakeSelection(ListKind list, int first, int last, bool selected);

  // Frontend
  std::unique_ptr<ProgressSink> CreateProgress() override;
  quillet::StatusBar& Status() override { return *this; }
  Shell& ShellServices() override { return *m_commands; }
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
  void SelectionChanged(ListKind list) override { ShowSelection(list); }
  // CommandWindow
  bool AskYesNo(std::string_view text, std::string_view caption) override;
  void ShowWarning(std::string_view text) override;
  void FocusResultList() override;
  void CloseMainWindow() override;
  void ShowAboutBox() override { tmiHelpAboutClick(); }

  HWND m_hwnd = nullptr;
  UINT m_dpi = 96;
  std::unique_ptr<shell::Services> m_services;
  std::unique_ptr<ListsModel> m_model;
  std::unique_ptr<MainCommands> m_commands;
  YesNoAsker m_asker;
  WarningNotifier m_notifier;
  GdiObject<HFONT> m_font;
  GdiObject<HFONT> m_statusFont;  // the status bar's texts
  ImageList m_images;
  HWND m_cbrMain = nullptr;
  HWND m_tbrMain = nullptr;
  std::unique_ptr<MenuBand> m_menuBand;  // tbrMenu and the menus it drops
  std::array<HWND, 2> m_lvw{};
  HWND m_splitter = nullptr;
  HWND m_stbMain = nullptr;
  std::array<std::string, kStatusPanelCount> m_panelTexts;
  std::array<int, kStatusPanelCount> m_panelWidths{};
  int m_widened = 0;         // pixels the result list's count columns grew beyond the design
  int m_fileListHeight = 0;  // unscaled, as the splitter left it
  // Where a drag of the splitter started: the cursor's y and the file list's height then.
  std::optional<std::pair<int, int>> m_drag;
  // While the model changes a list, the view's own notifications are not the user's.
  std::array<int, 2> m_modelChanging{};
  WNDPROC m_listProc = nullptr;
  WNDPROC m_toolBarProc = nullptr;
};

}  // namespace quillet
