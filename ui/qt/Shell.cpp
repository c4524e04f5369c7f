#include "ui/qt/Shell.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QUrl>

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
  QMessageBox box(QMessageBox::Warning, QStringLiteral("Quillet"), text, QMessageBox::Ok, m_owner);
  box.exec();
}

bool SystemDesktop::OpenPath(const QString& path) {
  return QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()));
}

bool SystemDesktop::StartProgram(const QString& program, const QStringList& arguments) {
  return QProcess::startDetached(program, arguments);
}

}  // namespace quillet
