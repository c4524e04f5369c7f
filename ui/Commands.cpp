#include "ui/Commands.h"

#include "lists/CommandLine.h"
#include "scan/Gloval.h"
#include "scan/Text.h"

namespace quillet {

bool IsDroppedFolder(std::string_view path) {
  return !path.empty() && IsFolder(path);
}

std::string RowToolTip(const ListsModel& model, ListKind list, std::size_t index) {
  if (list != ListKind::Result || index >= model.ResultRowCount()) return {};
  const ResultRow& row = model.ResultRowAt(index);
  if (!row.Measured || row.UnreadableFolders == 0) return {};
  return "読み取れなかったフォルダ: " + CountText(row.UnreadableFolders);
}

MainCommands::MainCommands(ListsModel& model, shell::Services& services, CommandWindow& window,
                           MessageBoxes& boxes)
    : m_model(model), m_services(services), m_window(window), m_boxes(boxes), m_treemap(model) {}

void MainCommands::Run(layout::Command command) {
  using layout::Command;
  switch (command) {
    case Command::None:
      return;
    case Command::FileRun:
      return m_model.tmiFileRunClick();
    case Command::FileExeExplorer:
      return tmiFileExeExplorerClick();
    case Command::FileOpenSelectForder:
      return tmiFileOpenSelectForderClick();
    case Command::FileOpenSelectQuillet:
      return tmiFileOpenSelectQuilletClick();
    case Command::FileOpenSelectFile:
      return tmiFileOpenSelectFileClick();
    case Command::FileClose:
      return m_window.CloseMainWindow();
    case Command::EditDelList:
      return m_model.tmiEditDelListClick();
    case Command::EditAllDelList:
      return m_model.tmiEditAllDelListClick();
    case Command::EditZeroForderSel:
      return tmiEditZeroForderSelClick();
    case Command::EditForderDel:
      return tmiEditForderDelClick();
    case Command::EditForderZeroDel:
      return tmiEditForderZeroDelClick();
    case Command::ViewFileViewFlag:
      m_treemap.BeginFilling();
      m_model.tmiViewFileViewFlagClick();
      m_treemap.EndFilling();
      if (m_treemapShown) m_window.RepaintTreemap();
      return;
    case Command::ViewTreemap:
      m_treemapShown = !m_treemapShown;
      return m_window.ShowTreemap(m_treemapShown);
    case Command::ViewOneFileSystem: {
      // Not stored: the next run and file view walk with it, the rows already measured keep
      // their numbers.
      WalkOptions options = m_model.CurrentWalkOptions();
      options.OneFileSystem = !options.OneFileSystem;
      return m_model.SetWalkOptions(std::move(options));
    }
    case Command::HelpAbout:
      return m_window.ShowAboutBox();
  }
}

std::optional<bool> MainCommands::Checked(layout::Command command) const {
  if (command == layout::Command::ViewOneFileSystem)
    return m_model.CurrentWalkOptions().OneFileSystem;
  if (command == layout::Command::ViewTreemap) return m_treemapShown;
  return std::nullopt;
}

void MainCommands::tmiFileExeExplorerClick() {
  TellNoFileManager(m_services.StartFileManager(), {});
}

void MainCommands::tmiFileOpenSelectForderClick() {
  if (const auto path = FirstSelectedPath(ListKind::Result)) ShellExe(*path);
}

void MainCommands::tmiFileOpenSelectQuilletClick() {
  // The new instance walks as this one does: the options in force come before the folder.
  if (const auto path = FirstSelectedPath(ListKind::Result))
    m_services.StartInstance(OptionArguments(m_model.CurrentWalkOptions(), *path), *path);
}

void MainCommands::tmiFileOpenSelectFileClick() {
  if (const auto path = FirstSelectedPath(ListKind::File)) ShellExe(*path);
}

void MainCommands::tmiEditZeroForderSelClick() {
  m_window.FocusResultList();
  m_model.tmiEditZeroForderSelClick();
}

void MainCommands::tmiEditForderDelClick() {
  if (!Ask(kDeleteQuestion, kDeleteCaption)) return;
  // Read the selection after the question: the list may have changed while it was open.
  const ListsModel::Deletion deletion = m_model.SelectedForDeletion();
  if (deletion.Paths.empty()) return;
  const std::vector<std::string> refused = m_services.DeleteReversibly(deletion.Paths);
  if (!refused.empty()) {
    std::string text(kTextNotTrashed);
    for (const std::string& line : refused)
      text += "\n" + line;
    Warn(text);
  }
  // Not every way a folder stays is reported (the shell's own confirmation may keep it), so the
  // disk is asked: a row goes only when nothing is left where its folder was.
  std::vector<RowId> gone;
  for (std::size_t i = 0; i < deletion.Paths.size(); ++i) {
    if (!EntryExists(deletion.Paths[i])) gone.push_back(deletion.Rows[i]);
  }
  m_model.DropResultRows(gone);
}

void MainCommands::tmiEditForderZeroDelClick() {
  m_window.FocusResultList();
  m_model.tmiEditZeroForderSelClick();
  tmiEditForderDelClick();
}

void MainCommands::ListDoubleClick(ListKind list) {
  if (list == ListKind::Result) return tmiFileOpenSelectForderClick();
  tmiFileOpenSelectFileClick();
}

void MainCommands::ListChanged(ListKind list, bool rowsChanged) {
  if (list != ListKind::File) return;
  if (rowsChanged) m_treemap.FileListChanged();
  if (m_treemapShown) m_window.RepaintTreemap();
}

void MainCommands::TreemapClick(int x, int y) {
  if (m_treemap.Click(x, y)) m_window.RepaintTreemap();
}

void MainCommands::TreemapDoubleClick(int x, int y) {
  if (!m_treemap.RowAt(x, y)) return;
  TreemapClick(x, y);
  ListDoubleClick(ListKind::File);
}

void MainCommands::TreemapEnter() {
  ListDoubleClick(ListKind::File);
}

void MainCommands::ListColumnClick(ListKind list, int column) {
  if (list == ListKind::Result) return m_model.lvwResultColumnClick(column);
  m_model.lvwFileColumnClick(column);
}

bool MainCommands::ListKeyDown(ListKind list, const ListKey& key) {
  if (key.Letter != 'A' || !key.Control || key.Shift || key.Alt) return false;
  m_model.SelectAll(list, true);
  return true;
}

void MainCommands::DropFiles(const std::vector<std::string>& paths) {
  for (const std::string& path : paths) {
    if (IsDroppedFolder(path)) m_model.AddResultList(path);
  }
}

bool MainCommands::ShellExe(const std::string& path) {
  const shell::Handover handover = m_services.OpenPath(path);
  TellNoFileManager(handover, path);
  return handover == shell::Handover::Done;
}

void MainCommands::TellNoFileManager(shell::Handover handover, const std::string& path) {
  if (handover != shell::Handover::NoFileManager) return;
  std::string text(kTextNoFileManager);
  if (!path.empty()) text += "\n" + path;
  Warn(text);
}

std::optional<std::string> MainCommands::FirstSelectedPath(ListKind list) const {
  const auto row = m_model.FirstSelected(list);
  if (!row) return std::nullopt;
  if (list == ListKind::Result) return m_model.ResultRowAt(*row).Location;
  return m_model.FilePathAt(*row);
}

void MainCommands::ImportScan(const std::string& path) {
  ImportFailure failure;
  std::shared_ptr<const ImportedTree> scan = ImportedTree::ReadFile(path, failure);
  if (!scan) {
    std::string where = failure.NotOpened ? "" : std::to_string(failure.Offset) + " バイト目: ";
    Warn(std::string(kTextImportFailed) + "\n" + path + "\n" + where + failure.Reason);
    return;
  }
  m_model.ImportRows(scan);
}

bool MainCommands::Ask(std::string_view text, std::string_view caption) {
  const Message message{MessageKind::Question, text, caption};
  return m_messageHook ? m_messageHook(message) : m_boxes.ShowMessage(message);
}

void MainCommands::Warn(const std::string& text) {
  const Message message{MessageKind::Warning, text, layout::kMainWindow.Caption};
  if (m_messageHook) {
    m_messageHook(message);
  } else {
    m_boxes.ShowMessage(message);
  }
}

}  // namespace quillet
