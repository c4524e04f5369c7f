#include "ui/qt/MessageBoxes.h"

#include <QMessageBox>

#include "ui/qt/Widgets.h"

namespace quillet {

bool WindowMessageBoxes::ShowMessage(const Message& message) {
  const bool question = message.Kind == MessageKind::Question;
  QMessageBox box(question ? QMessageBox::NoIcon : QMessageBox::Warning, ToQString(message.Caption),
                  ToQString(message.Text),
                  question ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok, m_owner);
  if (question) box.setDefaultButton(QMessageBox::Yes);
  const int answer = box.exec();
  return question && answer != QMessageBox::No;
}

}  // namespace quillet
