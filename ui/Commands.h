// The command layer of both windowed programs: what each menu item, tool button, list event and
// drop does, on the row model and the shell services, without a toolkit. A program builds its
// widgets from the layout tables, routes every event here and implements CommandWindow for the
// few things only its toolkit can do.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "lists/Lists.h"
#include "ui/Layouts.h"
#include "ui/TreemapPane.h"
#include "ui/shell/Shell.h"

namespace quillet {

// A message box owned by the main window, as a command describes it.
enum class MessageKind {
  Question,  // Yes and No buttons, Yes the default, no icon
  Warning,   // an OK button and a warning icon
};
struct Message {
  MessageKind Kind = MessageKind::Warning;
  std::string_view Text;
  std::string_view Caption;
};

// The message boxes of the main window: only the program's toolkit can show them.
class MessageBoxes {
 public:
  virtual ~MessageBoxes() = default;
  // Shows the message modally, owned by the main window; true when Yes closed it.
  virtual bool ShowMessage(const Message& message) = 0;
};

// What else only the program's toolkit can do for a command.
class CommandWindow {
 public:
  virtual ~CommandWindow() = default;
  virtual void FocusResultList() = 0;
  virtual void CloseMainWindow() = 0;
  // Shows the About box modally and returns when it is closed.
  virtual void ShowAboutBox() = 0;
  // Shows the treemap in the file list's place, or the file list again.
  virtual void ShowTreemap(bool shown) = 0;
  // Draws the treemap again (the file list changed under it, or its selection did).
  virtual void RepaintTreemap() = 0;
};

// The delete's question and its caption.
inline constexpr std::string_view kDeleteQuestion = "選択されたフォルダ群を削除しますか?";
inline constexpr std::string_view kDeleteCaption = "選択フォルダの削除";
// The warning when a saved scan cannot be read; the file and the reason follow on lines of their
// own.
inline constexpr std::string_view kTextImportFailed = "保存された解析結果を読み込めませんでした。";
// The message listing what a reversible delete left in place.
inline constexpr std::string_view kTextNotTrashed = "ゴミ箱へ移動できませんでした。";
// The message when a folder was not opened because the desktop would have started this program
// again on it and no file manager answered instead; the folder follows on a line of its own.
inline constexpr std::string_view kTextNoFileManager =
    "フォルダを開けませんでした。フォルダを開く既定のアプリケーションが Quillet 自身になっていて、"
    "代わりに開くファイルマネージャが見つかりません。ファイルマネージャをインストールするか、"
    "フォルダを開く既定のアプリケーションを選び直してください。";

// The tooltip of a row: for a result row with folders that could not be read, how many; empty
// for every other row.
std::string RowToolTip(const ListsModel& model, ListKind list, std::size_t index);

// The dropped-path rule of every front end: a folder becomes a row; a file, a link (to a folder
// too), a path that cannot be queried or an empty one is ignored.
bool IsDroppedFolder(std::string_view path);

// A key pressed while a list has the focus, as both programs see it.
struct ListKey {
  char Letter = 0;  // 'A' to 'Z' for a letter key, else 0
  bool Control = false;
  bool Shift = false;
  bool Alt = false;
};

// The commands. The model, services, window and boxes must outlive it.
class MainCommands {
 public:
  MainCommands(ListsModel& model, shell::Services& services, CommandWindow& window,
               MessageBoxes& boxes);

  // Runs the command of a menu item or tool button.
  void Run(layout::Command command);
  // Whether a check item's mark is shown; nullopt for a command that is no check item.
  std::optional<bool> Checked(layout::Command command) const;

  // Handlers that are more than one call of the model.
  void tmiFileExeExplorerClick();
  void tmiFileOpenSelectForderClick();
  void tmiFileOpenSelectQuilletClick();
  void tmiFileOpenSelectFileClick();
  void tmiEditZeroForderSelClick();
  // Asks the question (also with nothing selected); on Yes hands the model's deletion (the
  // selected folders in reverse list order, never a root) to the shell, says what it left in
  // place, then drops the rows of the folders that are gone and re-sorts. A folder the shell
  // refused, failed on or was told to keep keeps its row and its selection.
  void tmiEditForderDelClick();
  void tmiEditForderZeroDelClick();

  // The lists' own events, as both programs route them: a double-click opens the row's folder
  // or file, a header click sorts by that column, a key is ListKeyDown's.
  void ListDoubleClick(ListKind list);
  void ListColumnClick(ListKind list, int column);
  // A key pressed in a list: Ctrl+A selects every row of that list. True when the key did
  // something here; the list then does nothing more with it.
  bool ListKeyDown(ListKind list, const ListKey& key);
  // Reads the scan saved at path (ncdu's JSON export) and makes its top folders rows; one that
  // cannot be read is said in a warning, with the byte where reading stopped.
  void ImportScan(const std::string& path);
  // Dropped paths, in drop order: each folder becomes a row, everything else is ignored.
  void DropFiles(const std::vector<std::string>& paths);
  // Opens path with its default shell action; true when it was handed over. Where that would
  // start this program again and no file manager is there, says so instead.
  bool ShellExe(const std::string& path);

  // The treemap pane, shown in the file list's place while 表示's check item is on (off at start,
  // not stored). A click there selects the file drawn under the pointer; a double-click opens
  // it, and Enter opens the selected file, as the file list does.
  TreemapPane& Treemap() { return m_treemap; }
  bool TreemapShown() const { return m_treemapShown; }
  // The model told the window a list changed (rows, or their selection): the treemap takes the
  // file list again, or redraws its outline, where it is shown.
  void ListChanged(ListKind list, bool rowsChanged);
  void TreemapClick(int x, int y);
  void TreemapDoubleClick(int x, int y);
  void TreemapEnter();

  // Cell 0 of a list's first selected row (a result row's location, a file row's path).
  std::optional<std::string> FirstSelectedPath(ListKind list) const;

  // Tests answer the questions and read the warnings here instead of in modal boxes: while a
  // hook is set, every message goes to it and none to the boxes.
  using MessageHook = std::function<bool(const Message& message)>;
  void SetMessageHook(MessageHook hook) { m_messageHook = std::move(hook); }

 private:
  ListsModel& m_model;
  shell::Services& m_services;
  CommandWindow& m_window;
  MessageBoxes& m_boxes;
  MessageHook m_messageHook;
  TreemapPane m_treemap;
  bool m_treemapShown = false;

  // A question with its own caption; true for Yes.
  bool Ask(std::string_view text, std::string_view caption);
  // A warning, titled with the main window's caption.
  void Warn(const std::string& text);
  // Tells the user, where the shell did not, that no file manager could open path.
  void TellNoFileManager(shell::Handover handover, const std::string& path);
};

}  // namespace quillet
