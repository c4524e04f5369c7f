#include "ui/Commands.h"

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

MainCommands::MainCommands(ListsModel& model, shell::Services& services, CommandWindow& window)
    : m_model(model), m_services(services), m_window(window) {}

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
      return m_model.tmiEditForderDelClick();
    case Command::EditForderZeroDel:
      return tmiEditForderZeroDelClick();
    case Command::ViewFileViewFlag:
      return m_model.tmiViewFileViewFlagClick();
    case Command::HelpAbout:
      return m_window.ShowAboutBox();
  }
}

void MainCommands::tmiFileExeExplorerClick() {
  TellNoFileManager(m_services.StartFileManager(), {});
}

void MainCommands::tmiFileOpenSelectForderClick() {
  if (const auto path = FirstSelectedPath(ListKind::Result)) ShellExe(*path);
}

void MainCommands::tmiFileOpenSelectQuilletClick() {
  if (const auto path = FirstSelectedPath(ListKind::Result)) m_services.StartInstance(*path);
}

void MainCommands::tmiFileOpenSelectFileClick() {
  if (const auto path = FirstSelectedPath(ListKind::File)) ShellExe(*path);
}

void MainCommands::tmiEditZeroForderSelClick() {
  m_window.FocusResultList();
  m_model.tmiEditZeroForderSelClick();
}

void MainCommands::tmiEditForderZeroDelClick() {
  m_window.FocusResultList();
  m_model.tmiEditForderZeroDelClick();
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
  m_window.ShowWarning(text);
}

std::optional<std::string> MainCommands::FirstSelectedPath(ListKind list) const {
  const auto row = m_model.FirstSelected(list);
  if (!row) return std::nullopt;
  if (list == ListKind::Result) return m_model.ResultRowAt(*row).Location;
  return std::string(m_model.FileRowAt(*row).Path);
}

bool MainCommands::AskYesNo(std::string_view text, std::string_view caption) {
  return m_window.AskYesNo(text, caption);
}

void MainCommands::DeleteReversibly(const std::vector<std::string>& paths) {
  const std::vector<std::string> refused = m_services.DeleteReversibly(paths);
  if (refused.empty()) return;
  std::string text(kTextNotTrashed);
  for (const std::string& line : refused)
    text += "\n" + line;
  m_window.ShowWarning(text);
}

}  // namespace quillet
