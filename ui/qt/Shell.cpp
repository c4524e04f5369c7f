#include "ui/qt/Shell.h"

#include <QDesktopServices>
#include <QFile>
#include <QMessageBox>
#include <QUrl>

#include <cerrno>
#include <filesystem>
#include <system_error>

#include <sys/wait.h>
#include <unistd.h>

#include "ui/qt/Trash.h"
#include "ui/qt/Widgets.h"

namespace quillet {

QtShell::QtShell(QWidget* owner) : m_owner(owner) {}

bool QtShell::AskYesNo(std::string_view text, std::string_view caption) {
  if (m_asker) return m_asker(ToQString(text), ToQString(caption));
  QMessageBox box(QMessageBox::NoIcon, ToQString(caption), ToQString(text),
                  QMessageBox::Yes | QMessageBox::No, m_owner);
  box.setDefaultButton(QMessageBox::Yes);
  return box.exec() != QMessageBox::No;
}

void QtShell::DeleteReversibly(const std::vector<std::string>& paths) {
  QStringList refused;
  for (const std::string& path : paths) {
    const TrashOutcome outcome = MoveToTrash(path);
    if (!outcome.Trashed) {
      refused << ToQString(path) + QStringLiteral(": ") + QString::fromStdString(outcome.Error);
    }
  }
  if (refused.isEmpty()) return;
  const QString text = QStringLiteral("ゴミ箱へ移動できませんでした。\n") + refused.join('\n');
  if (m_notifier) {
    m_notifier(text);
    return;
  }
  QMessageBox box(QMessageBox::Warning, ToQString(layout::kMainWindow.Caption), text,
                  QMessageBox::Ok, m_owner);
  box.exec();
}

bool SystemDesktop::OpenPath(const std::string& path) {
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(path, error);
  const std::string full = error ? path : absolute.string();
  const QByteArray bytes = QByteArray::fromStdString(full);
  const QString text = QFile::decodeName(bytes);
  // A URL cannot carry bytes that are not UTF-8: such a path goes to xdg-open as it stands.
  if (QFile::encodeName(text) != bytes) return StartProgram("xdg-open", {full});
  return QDesktopServices::openUrl(QUrl::fromLocalFile(text));
}

bool SystemDesktop::StartProgram(const std::string& program,
                                 const std::vector<std::string>& arguments) {
  // The argument vector is built before the fork: the child may only make async-signal-safe calls.
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& argument : arguments)
    argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  const pid_t child = ::fork();
  if (child < 0) return false;
  if (child == 0) {
    // A grandchild in a session of its own, adopted by init: it outlives this program and never
    // stays behind as a zombie of it.
    ::setsid();
    const pid_t grandchild = ::fork();
    if (grandchild == 0) {
      ::execvp(argv[0], argv.data());
      ::_exit(127);
    }
    ::_exit(grandchild < 0 ? 1 : 0);
  }
  int status = 0;
  while (::waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) return false;
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace quillet
