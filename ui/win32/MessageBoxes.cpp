#include "ui/win32/MessageBoxes.h"

#include "scan/Utf16.h"

namespace quillet {

bool WindowMessageBoxes::ShowMessage(const Message& message) {
  const bool question = message.Kind == MessageKind::Question;
  const int answer = ::MessageBoxW(m_owner, ToUtf16<wchar_t>(ToDisplayText(message.Text)).c_str(),
                                   ToUtf16<wchar_t>(message.Caption).c_str(),
                                   question ? MB_YESNO | MB_DEFBUTTON1 : MB_OK | MB_ICONWARNING);
  return question && answer != IDNO;
}

}  // namespace quillet
