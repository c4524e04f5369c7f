// The main window: tool strip, the two lists, the splitter and the status bar. Every event goes
// to the shared command layer; the window keeps nothing of its own but widgets.
#pragma once

#include <QMainWindow>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "lists/Lists.h"
#include "ui/Commands.h"
#include "ui/Layouts.h"
#include "ui/qt/MessageBoxes.h"
#include "ui/ListViews.h"
#include "ui/Progress.h"
#include "ui/shell/Shell.h"

class QItemSelection;
class QLabel;
class QMenuBar;
class QSplitter;
class QStackedWidget;
class QToolBar;

namespace quillet {

class ListModelAdapter;
class ColumnListView;
class TreemapView;

class TFMain : public QMainWindow,
               private Frontend,
               private StatusBar,
               private ListObserver,
               private CommandWindow {
  Q_OBJECT
 public:
  // firstArgument: the folder whose subfolders fill the result list at start, if any. services:
  // where opened paths, started programs and deletions go; the real shell when null.
  explicit TFMain(std::optional<std::string> firstArgument,
                  std::unique_ptr<shell::Services> services = nullptr);
  ~TFMain() override;

  ListsModel& Model() { return *m_model; }
  MainCommands& Commands() { return *m_commands; }
  ColumnListView* lvwResult() const { return m_lvwResult; }
  ColumnListView* lvwFile() const { return m_lvwFile; }
  QSplitter* Splitter1() const { return m_splitter; }
  // The treemap, in the file list's place while it is shown.
  TreemapView* Treemap() const { return m_treemap; }
  QLabel* StatusPanel(int index) const { return m_panels.at(static_cast<std::size_t>(index)); }
  QMenuBar* tbrMenu() const { return m_tbrMenu; }
  QToolBar* tbrMain() const { return m_tbrMain; }

  // Runs the command of a menu item or tool button, as a click would.
  void Run(layout::Command command);

  // Handlers that only a window has.
  void FormCreate(const std::optional<std::string>& firstArgument);
  // The rows of a saved scan, as --import gives it.
  void ImportScan(const std::string& path);
  void tmiHelpAboutClick();
  // Dropped URLs, in drop order: local folders become rows, everything else is ignored.
  void DropFiles(const QList<QUrl>& urls);

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  // Closing the window while a command's loop runs cancels that loop, so the program ends
  // promptly instead of working on behind a hidden window.
  void closeEvent(QCloseEvent* event) override;
  // Key presses in the lists go to the command layer first (Ctrl+A).
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // Frontend
  std::unique_ptr<ProgressSink> CreateProgress() override;
  quillet::StatusBar& Status() override { return *this; }
  // CommandWindow
  void FocusResultList() override;
  void CloseMainWindow() override { close(); }
  void ShowAboutBox() override { tmiHelpAboutClick(); }
  void ShowTreemap(bool shown) override;
  void RepaintTreemap() override;
  // StatusBar
  void SetPanelText(quillet::StatusPanel panel, std::string_view text) override;
  // ListObserver
  void BeginReset(ListKind list) override;
  void EndReset(ListKind list) override;
  void BeginAppend(ListKind list, std::size_t first, std::size_t count) override;
  void EndAppend(ListKind list) override;
  void BeginRemove(ListKind list, std::size_t first, std::size_t count) override;
  void EndRemove(ListKind list) override;
  void RowChanged(ListKind list, std::size_t index) override;
  void SelectionChanged(ListKind list) override;

  void BuildToolStrip();
  ColumnListView* BuildList(ListKind list, std::span<const layout::Column> columns);
  void BuildStatusBar();
  ListModelAdapter* Adapter(ListKind list) const;
  ColumnListView* View(ListKind list) const;
  // Replaces a view's selection by runs of rows.
  void ShowSelection(ListKind list, std::span<const SelectionHandover::Run> runs);

  std::unique_ptr<shell::Services> m_services;
  WindowMessageBoxes m_boxes;
  std::vector<QIcon> m_images;
  std::unique_ptr<ListsModel> m_model;
  std::unique_ptr<MainCommands> m_commands;
  ListModelAdapter* m_resultAdapter = nullptr;
  ListModelAdapter* m_fileAdapter = nullptr;
  QToolBar* m_tbrMain = nullptr;
  QToolBar* m_tbrMenuBand = nullptr;
  QMenuBar* m_tbrMenu = nullptr;
  ColumnListView* m_lvwResult = nullptr;
  ColumnListView* m_lvwFile = nullptr;
  QSplitter* m_splitter = nullptr;
  // The splitter's lower pane: the file list or the treemap.
  QStackedWidget* m_lowerPane = nullptr;
  TreemapView* m_treemap = nullptr;
  std::array<QLabel*, 5> m_panels{};
  SelectionHandover m_selection;
  // Pixels the result list's count columns grew beyond the design.
  int m_widening = 0;
  // The progress dialogs of the commands running now; closing the window cancels them.
  ProgressRegistry m_progress;
};

}  // namespace quillet
