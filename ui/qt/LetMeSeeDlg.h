// The progress dialog of the long commands: two text lines, an activity mark and Cancel.
#pragma once

#include <QDialog>
#include <chrono>
#include <optional>

#include "ui/Progress.h"

class QFrame;
class QPushButton;

namespace quillet {

class OneLineLabel;

// The labels show the texts and the mark of every update at once; the dialog reaches the screen,
// and the messages are processed, at most once per frame.
class TFLetMeSeeDlg : public QDialog, public Progress {
  Q_OBJECT
 public:
  // registry, if any, knows the dialog while it lives (the main window's, which cancels it).
  explicit TFLetMeSeeDlg(ProgressRegistry* registry = nullptr, QWidget* parent = nullptr);

  OneLineLabel* lblMainCaption() const { return m_lblMainCaption; }
  OneLineLabel* lblSubCaption() const { return m_lblSubCaption; }
  OneLineLabel* lblRunning() const { return m_lblRunning; }
  QPushButton* btnCancel() const { return m_btnCancel; }

 protected:
  // Progress
  void ShowDialog() override;
  void ShowTexts(std::string_view mainText, std::string_view subText) override;
  void ShowMark(std::string_view mark) override;
  void Repaint() override;
  void Pump() override;
  void CloseDialog() override;

  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  // Esc: the dialog's cancel button, not a close.
  void reject() override;

 private:
  // True when the current update may reach the screen; decided at its first repaint or pump.
  bool FrameDue();

  QFrame* m_bvlMain = nullptr;
  OneLineLabel* m_lblMainCaption = nullptr;
  OneLineLabel* m_lblSubCaption = nullptr;
  OneLineLabel* m_lblRunning = nullptr;
  QPushButton* m_btnCancel = nullptr;
  bool m_closing = false;
  // One frame: how often an update lets the dialog reach the screen and processes messages.
  static constexpr std::chrono::milliseconds kShowEvery{16};
  std::chrono::steady_clock::time_point m_lastShown{};
  std::optional<bool> m_due;  // the current update's FrameDue, once decided
};

}  // namespace quillet
