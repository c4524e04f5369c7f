// The progress dialog of the long commands: two text lines, an activity mark and Cancel.
#pragma once

#include <QDialog>
#include <chrono>

#include "lists/Frontend.h"

class QFrame;
class QPushButton;

namespace quillet {

class OneLineLabel;

class TFLetMeSeeDlg : public QDialog, public ProgressSink {
  Q_OBJECT
 public:
  explicit TFLetMeSeeDlg(QWidget* parent = nullptr);

  void Show() override;
  bool UpdateProgress(std::string_view mainText, std::string_view subText, bool repaint,
                      bool pump) override;
  void Close() override;

  bool Cancelled() const { return m_cancelled; }
  OneLineLabel* lblMainCaption() const { return m_lblMainCaption; }
  OneLineLabel* lblSubCaption() const { return m_lblSubCaption; }
  OneLineLabel* lblRunning() const { return m_lblRunning; }
  QPushButton* btnCancel() const { return m_btnCancel; }

 public slots:
  void btnCancelClick();

 protected:
  void FormShow();
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  // Esc: the dialog's cancel button, not a close.
  void reject() override;

 private:
  QFrame* m_bvlMain = nullptr;
  OneLineLabel* m_lblMainCaption = nullptr;
  OneLineLabel* m_lblSubCaption = nullptr;
  OneLineLabel* m_lblRunning = nullptr;
  QPushButton* m_btnCancel = nullptr;
  bool m_cancelled = false;
  bool m_closing = false;
  // One frame: how often an update lets the dialog reach the screen and processes messages.
  static constexpr std::chrono::milliseconds kShowEvery{16};
  std::chrono::steady_clock::time_point m_lastShown{};
};

}  // namespace quillet
