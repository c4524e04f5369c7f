#include "ui/Progress.h"

#include <algorithm>

#include "ui/Layouts.h"

namespace quillet {
namespace {

std::string InitialText(std::string_view control) {
  const layout::Control* found = layout::FindControl(layout::kProgressDialog, control);
  return found != nullptr ? std::string(found->Caption) : std::string();
}

}  // namespace

Progress::Progress(ProgressRegistry* registry)
    : m_registry(registry),
      m_mainText(InitialText("lblMainCaption")),
      m_subText(InitialText("lblSubCaption")),
      m_mark(InitialText("lblRunning")) {
  if (m_registry != nullptr) m_registry->m_alive.push_back(this);
}

Progress::~Progress() {
  if (m_registry != nullptr) std::erase(m_registry->m_alive, this);
}

void Progress::Show() {
  ShowDialog();
  FormShow();
}

bool Progress::UpdateProgress(std::string_view mainText, std::string_view subText, bool repaint,
                              bool pump) {
  m_mainText.assign(mainText);
  m_subText.assign(subText);
  ShowTexts(m_mainText, m_subText);
  // Read before the pump: a Cancel processed there is the next update's answer.
  const bool result = !m_cancelled;
  m_mark = m_mark != "+" ? "+" : "*";
  ShowMark(m_mark);
  if (repaint) Repaint();
  if (pump) Pump();
  return result;
}

void Progress::Close() {
  CloseDialog();
}

ProgressRegistry::~ProgressRegistry() {
  for (Progress* progress : m_alive)
    progress->m_registry = nullptr;
}

void ProgressRegistry::CancelAll() {
  for (Progress* progress : m_alive)
    progress->btnCancelClick();
}

}  // namespace quillet
