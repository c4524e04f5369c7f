#include "ui/qt/LetMeSeeDlg.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFrame>
#include <QPushButton>

#include "ui/qt/Widgets.h"

namespace quillet {

TFLetMeSeeDlg::TFLetMeSeeDlg(ProgressRegistry* registry, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowStaysOnTopHint),
      Progress(registry) {
  const layout::Window& table = layout::kProgressDialog;
  setObjectName(ToQString(table.Name));
  setWindowTitle(ToQString(table.Caption));
  setFont(ToQFont(table.TextFont, font()));
  setFixedSize(table.ClientWidth, table.ClientHeight);
  setModal(false);
  setWindowOpacity(layout::kProgressOpacity / 255.0);

  for (const layout::Control& control : table.Controls) {
    QWidget* widget = nullptr;
    switch (control.Kind) {
      case layout::ControlKind::Bevel: {
        m_bvlMain = new QFrame(this);
        m_bvlMain->setFrameStyle(QFrame::Box | QFrame::Sunken);
        widget = m_bvlMain;
        break;
      }
      case layout::ControlKind::Button: {
        m_btnCancel = new QPushButton(ToQString(control.Caption), this);
        // The only control that takes the focus, and the default one: Enter presses it too.
        m_btnCancel->setDefault(true);
        m_btnCancel->setAutoDefault(true);
        connect(m_btnCancel, &QPushButton::clicked, this, [this] { btnCancelClick(); });
        widget = m_btnCancel;
        break;
      }
      case layout::ControlKind::Label: {
        auto* label = new OneLineLabel(this);
        label->setText(ToQString(control.Caption));
        label->setAlignment(ToQAlignment(control.Alignment));
        if (control.Name == "lblMainCaption") m_lblMainCaption = label;
        if (control.Name == "lblSubCaption") m_lblSubCaption = label;
        if (control.Name == "lblRunning") m_lblRunning = label;
        widget = label;
        break;
      }
      case layout::ControlKind::Picture:
        break;
    }
    if (widget == nullptr) continue;
    widget->setObjectName(ToQString(control.Name));
    widget->setGeometry(ToQRect(control.Geometry));
    if (!control.TextFont.Face.empty()) widget->setFont(ToQFont(control.TextFont, font()));
  }
  Q_ASSERT(m_bvlMain && m_lblMainCaption && m_lblSubCaption && m_lblRunning && m_btnCancel);
  m_btnCancel->setFocus();
}

void TFLetMeSeeDlg::ShowDialog() {
  m_lastShown = {};
  setUpdatesEnabled(true);
  CenterOnPrimaryScreen(*this);
  show();
  m_btnCancel->setFocus();
}

void TFLetMeSeeDlg::showEvent(QShowEvent* event) {
  FormShow();
  QDialog::showEvent(event);
}

void TFLetMeSeeDlg::ShowTexts(std::string_view mainText, std::string_view subText) {
  m_lblMainCaption->setText(ToQString(mainText));
  m_lblSubCaption->setText(ToQString(subText));
  m_due.reset();  // every update starts here
}

void TFLetMeSeeDlg::ShowMark(std::string_view mark) {
  m_lblRunning->setText(ToQString(mark));
}

// A run over thousands of small rows updates far more often than a screen shows or a user clicks:
// the dialog reaches the screen, and the messages are processed, at most once per frame. Its
// texts are current after every update all the same.
bool TFLetMeSeeDlg::FrameDue() {
  if (!m_due) m_due = std::chrono::steady_clock::now() - m_lastShown >= kShowEvery;
  return *m_due;
}

void TFLetMeSeeDlg::Repaint() {
  if (!FrameDue()) {
    setUpdatesEnabled(false);  // the texts set meanwhile wait for the next frame
    return;
  }
  setUpdatesEnabled(true);
  QWidget::repaint();
  m_lastShown = std::chrono::steady_clock::now();
}

void TFLetMeSeeDlg::Pump() {
  if (!FrameDue()) return;
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  // Counted from the pump's end: a slow pump must not make every update pump.
  m_lastShown = std::chrono::steady_clock::now();
}

void TFLetMeSeeDlg::CloseDialog() {
  setUpdatesEnabled(true);
  m_closing = true;
  close();
}

void TFLetMeSeeDlg::reject() {
  if (m_closing) {
    QDialog::reject();
    return;
  }
  btnCancelClick();
}

void TFLetMeSeeDlg::closeEvent(QCloseEvent* event) {
  if (m_closing) {
    QDialog::closeEvent(event);
    return;
  }
  // Closed by the window system (a close keystroke) while the loop runs: a hidden dialog could
  // no longer be cancelled, so the close counts as Cancel and the command closes it itself.
  btnCancelClick();
  event->ignore();
}

}  // namespace quillet
