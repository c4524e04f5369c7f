#include "ui/win32/Application.h"

#include <commctrl.h>

#include <algorithm>
#include <exception>

#include "scan/Utf16.h"
#include "ui/ExceptionText.h"
#include "ui/win32/Widgets.h"

namespace quillet {

TApplication Application;

namespace {

constexpr wchar_t kHiddenClass[] = L"QuilletApplication";

}  // namespace

void TApplication::Initialize() {
  if (m_initialized) return;
  m_initialized = true;
  EnablePerMonitorDpiAwareness();
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof controls;
  controls.dwICC = ICC_WIN95_CLASSES | ICC_COOL_CLASSES | ICC_BAR_CLASSES | ICC_LISTVIEW_CLASSES |
                   ICC_STANDARD_CLASSES;
  InitCommonControlsEx(&controls);
}

HWND TApplication::Handle() {
  if (m_handle && IsWindow(m_handle)) return m_handle;
  RegisterWindowClass(kHiddenClass, DefWindowProcW);
  const std::wstring title = ToUtf16<wchar_t>(Title);
  m_handle = CreateWindowExW(0, kHiddenClass, title.c_str(), WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                             ProgramInstance(), nullptr);
  return m_handle;
}

void TApplication::Dispatch(MSG& message) {
  if (m_filter && m_filter(message)) return;
  if (message.hwnd != nullptr && !m_dialogs.empty()) {
    const HWND root = GetAncestor(message.hwnd, GA_ROOT);
    if (std::ranges::find(m_dialogs, root) != m_dialogs.end() && IsDialogMessageW(root, &message)) {
      return;
    }
  }
  TranslateMessage(&message);
  DispatchMessageW(&message);
}

int TApplication::Run() {
  MSG message{};
  BOOL got = 0;
  while ((got = GetMessageW(&message, nullptr, 0, 0)) > 0)
    Dispatch(message);
  m_terminated = true;
  return got == 0 ? static_cast<int>(message.wParam) : 1;
}

bool TApplication::HandleMessage() {
  MSG message{};
  const BOOL got = GetMessageW(&message, nullptr, 0, 0);
  if (got > 0) {
    Dispatch(message);
    return true;
  }
  m_terminated = true;
  if (got == 0) PostQuitMessage(static_cast<int>(message.wParam));
  return false;
}

void TApplication::ProcessMessages() {
  MSG message{};
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      // Windows hands WM_QUIT out only once the queue is otherwise empty, so nothing is left.
      m_terminated = true;
      PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    Dispatch(message);
  }
}

void TApplication::AddModelessDialog(HWND dialog) {
  if (std::ranges::find(m_dialogs, dialog) == m_dialogs.end()) m_dialogs.push_back(dialog);
}

void TApplication::RemoveModelessDialog(HWND dialog) {
  std::erase(m_dialogs, dialog);
}

void TApplication::SetMessageFilter(MessageFilter filter) {
  m_filter = std::move(filter);
}

void TApplication::SetFailureReporter(FailureReporter reporter) {
  m_reporter = std::move(reporter);
}

void TApplication::RunGuarded(const std::function<void()>& handler) {
  // The message is copied out of the exception before it is shown: the box runs a message loop
  // of its own, and the handler's clean-up has run by the time we get here.
  std::string message;
  try {
    handler();
    return;
  } catch (...) {
    message = ExceptionText(std::current_exception());
  }
  ReportFailure(message);
}

void TApplication::ReportFailure(std::string_view message) {
  if (m_reporter) {
    m_reporter(message);
    return;
  }
  const std::wstring text = ToUtf16<wchar_t>(message);
  const std::wstring caption = ToUtf16<wchar_t>(Title);
  MessageBoxW(GetActiveWindow(), text.c_str(), caption.c_str(), MB_OK | MB_ICONERROR);
}

}  // namespace quillet
