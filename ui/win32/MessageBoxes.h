// The main window's message boxes in the Windows program.
#pragma once

#include <windows.h>

#include "ui/Commands.h"

namespace quillet {

class WindowMessageBoxes : public MessageBoxes {
 public:
  // owner: the window the boxes belong to (none before it is created).
  explicit WindowMessageBoxes(HWND owner = nullptr) : m_owner(owner) {}
  bool ShowMessage(const Message& message) override;

 private:
  HWND m_owner;
};

}  // namespace quillet
