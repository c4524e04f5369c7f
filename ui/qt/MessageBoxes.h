// The main window's message boxes in the Linux program.
#pragma once

#include "ui/Commands.h"

class QWidget;

namespace quillet {

class WindowMessageBoxes : public MessageBoxes {
 public:
  // owner: the window the boxes belong to; it must outlive them.
  explicit WindowMessageBoxes(QWidget* owner) : m_owner(owner) {}
  bool ShowMessage(const Message& message) override;

 private:
  QWidget* m_owner;
};

}  // namespace quillet
