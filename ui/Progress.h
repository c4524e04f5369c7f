// The progress dialog's rules, once for every front end: the Cancelled flag, the activity mark
// and the fixed order of UpdateProgress's steps. A front end derives from Progress and does only
// what it alone can: show the texts and the mark, repaint, process pending messages.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "lists/Frontend.h"

namespace quillet {

class ProgressRegistry;

class Progress : public ProgressSink {
 public:
  // registry, if any, knows the dialog from now until its destruction.
  explicit Progress(ProgressRegistry* registry = nullptr);
  ~Progress() override;
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  // ShowDialog, then FormShow: a shown dialog starts not cancelled.
  void Show() final;
  // 1. keeps the texts and calls ShowTexts; 2. reads "not Cancelled" as the answer; 3. flips the
  // mark ("+" unless it is "+" already, then "*") and calls ShowMark; 4. Repaint if repaint;
  // 5. Pump if pump; returns the answer of step 2. A Cancel handled inside Pump changes the
  // answer of the next update, not of this one.
  bool UpdateProgress(std::string_view mainText, std::string_view subText, bool repaint,
                      bool pump) final;
  // CloseDialog; the dialog stays known to its registry until it is destroyed.
  void Close() final;

  // Show handler: Cancelled := false. A toolkit calls it from its window's own show handler too.
  void FormShow() { m_cancelled = false; }
  // Click handler of Cancel, and what every other way of cancelling calls (Esc, Enter, a close
  // by the window system, an interrupt): Cancelled := true. The dialog stays open.
  void btnCancelClick() { m_cancelled = true; }
  bool Cancelled() const { return m_cancelled; }

  // The texts of the last update and the mark it left; before the first, the layout's.
  const std::string& MainText() const { return m_mainText; }
  const std::string& SubText() const { return m_subText; }
  const std::string& Mark() const { return m_mark; }

 protected:
  // Each update calls ShowTexts, then ShowMark, then Repaint when asked, then Pump when asked,
  // always in this order. ShowTexts and ShowMark may show the new values at once or leave them
  // to the next Repaint or Pump (they stay in MainText, SubText and Mark).
  virtual void ShowDialog() = 0;
  virtual void ShowTexts(std::string_view /*mainText*/, std::string_view /*subText*/) {}
  virtual void ShowMark(std::string_view /*mark*/) {}
  // Brings the dialog's pending paint work to the screen before it returns.
  virtual void Repaint() = 0;
  // Processes every pending message (input, Cancel, paints) and returns when there is none.
  virtual void Pump() = 0;
  virtual void CloseDialog() = 0;

 private:
  friend class ProgressRegistry;
  ProgressRegistry* m_registry;
  bool m_cancelled = false;
  std::string m_mainText;
  std::string m_subText;
  std::string m_mark;
};

// The progress dialogs alive under one main window, so that closing the window can cancel the
// loops that run behind it instead of leaving them to work on for a window that is gone.
class ProgressRegistry {
 public:
  ProgressRegistry() = default;
  // The dialogs that outlive it forget it.
  ~ProgressRegistry();
  ProgressRegistry(const ProgressRegistry&) = delete;
  ProgressRegistry& operator=(const ProgressRegistry&) = delete;

  // Cancels every dialog alive now, as its Cancel button would.
  void CancelAll();

 private:
  friend class Progress;
  std::vector<Progress*> m_alive;
};

}  // namespace quillet
