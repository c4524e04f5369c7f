// The application object: the process-wide message loop, the pump the long commands call, the
// application title, the modeless dialogs' keyboard, and the report of a failure that escapes a
// handler.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace quillet {

class TApplication {
 public:
  // The name shown for the application (task bar, failure messages). UTF-8.
  std::string Title = "Quillet";

  // Registers the common controls and asks for per-monitor DPI awareness. Call once, before the
  // first window; a second call does nothing.
  void Initialize();
  // A hidden window that owns dialogs created without an owner, so they get no task-bar button
  // of their own. Made on first use.
  HWND Handle();

  // Runs the message loop until WM_QUIT (the main window posts it when it is destroyed) and
  // returns its exit code.
  int Run();
  // Waits for the next message and handles it as Run does; false when it was WM_QUIT, which is
  // posted again so the outer loop ends too. Modal windows run their own loops with it.
  bool HandleMessage();
  // Processes every pending message of the application, paints included, through the same path
  // as Run (modeless dialogs get their keyboard), and returns when the queue is empty. A WM_QUIT
  // found here is posted again, so the outer loop still ends, and Terminated becomes true.
  void ProcessMessages();
  bool Terminated() const { return m_terminated; }

  // Modeless dialogs registered here get Tab, Esc and Enter through IsDialogMessageW in both
  // loops. A dialog removes itself before it is destroyed.
  void AddModelessDialog(HWND dialog);
  void RemoveModelessDialog(HWND dialog);

  // Sees every message of both loops first (keyboard of a menu in a tool bar, for instance);
  // returns true when it handled the message. One filter; an empty function removes it.
  using MessageFilter = std::function<bool(MSG&)>;
  void SetMessageFilter(MessageFilter filter);

  // Runs handler. A failure escaping it ends it after its own clean-up (its destructors have
  // run) and is shown in a message box with Title as caption and the error icon; the program
  // goes on. Exceptions must never leave a window procedure (they cannot unwind through the
  // system's frames), so every handler a window procedure calls runs through here.
  void RunGuarded(const std::function<void()>& handler);
  // How a failure is shown; tests replace the message box. An empty function restores it.
  using FailureReporter = std::function<void(std::string_view message)>;
  void SetFailureReporter(FailureReporter reporter);

 private:
  void Dispatch(MSG& message);
  void ReportFailure(std::string_view message);

  HWND m_handle = nullptr;
  bool m_initialized = false;
  bool m_terminated = false;
  std::vector<HWND> m_dialogs;
  MessageFilter m_filter;
  FailureReporter m_reporter;
};

// The one application object of the process.
extern TApplication Application;

}  // namespace quillet
