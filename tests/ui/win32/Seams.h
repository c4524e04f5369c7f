// What the Windows program's tests put in the place of the user and of the shell: a recorder of
// the shell services, a hook that answers each new window of a kind with one message, and the
// fixture of a real main window over a scratch folder.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "../../scan/TempTree.h"
#include "Canvas.h"
#include "ui/shell/Shell.h"
#include "ui/win32/Application.h"
#include "ui/win32/Main.h"

namespace quillet::testing {

// Records what the program hands to the shell; every service succeeds, the trash refuses none.
struct ShellRecorder : shell::Services {
  std::vector<std::string> Opened, Instances, Deleted;
  int FileManagers = 0;
  shell::Handover OpenPath(const std::string& path) override {
    return Opened.push_back(path), shell::Handover::Done;
  }
  shell::Handover StartFileManager() override { return ++FileManagers, shell::Handover::Done; }
  bool StartInstance(const std::vector<std::string>& /*options*/,
                     const std::string& folder) override {
    return Instances.push_back(folder), true;
  }
  std::vector<std::string> DeleteReversibly(const std::vector<std::string>& paths) override {
    Deleted.insert(Deleted.end(), paths.begin(), paths.end());
    return {};
  }
};

// Posts message to each window created on this thread that match accepts, as soon as it is
// created: it waits in the queue until the window's loop or a progress update processes it.
class PostOnCreate {
 public:
  using Match = std::function<bool(HWND window, const CREATESTRUCTW& create)>;
  PostOnCreate(Match match, UINT message, WPARAM wParam)
      : m_match(std::move(match)), m_message(message), m_wParam(wParam) {
    s_current = this;
    m_hook = ::SetWindowsHookExW(WH_CBT, Hook, nullptr, ::GetCurrentThreadId());
  }
  // The windows with this caption.
  PostOnCreate(std::wstring caption, UINT message, WPARAM wParam)
      : PostOnCreate(
            [caption = std::move(caption)](HWND, const CREATESTRUCTW& create) {
              return !IS_INTRESOURCE(create.lpszName) && create.lpszName != nullptr &&
                     caption == create.lpszName;
            },
            message, wParam) {}
  ~PostOnCreate() {
    ::UnhookWindowsHookEx(m_hook);
    s_current = nullptr;
  }
  PostOnCreate(const PostOnCreate&) = delete;
  PostOnCreate& operator=(const PostOnCreate&) = delete;

  int Created = 0;  // how many windows were answered

 private:
  static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam) {
    PostOnCreate* self = s_current;
    if (code == HCBT_CREATEWND && self != nullptr) {
      const auto window = reinterpret_cast<HWND>(wParam);
      if (self->m_match(window, *reinterpret_cast<CBT_CREATEWNDW*>(lParam)->lpcs)) {
        ++self->Created;
        ::PostMessageW(window, self->m_message, self->m_wParam, 0);
      }
    }
    return ::CallNextHookEx(self != nullptr ? self->m_hook : nullptr, code, wParam, lParam);
  }
  static inline PostOnCreate* s_current = nullptr;
  Match m_match;
  UINT m_message;
  WPARAM m_wParam;
  HHOOK m_hook = nullptr;
};

// The dialog boxes (window class #32770), such as a message box's question.
inline PostOnCreate::Match IsDialogBox() {
  return [](HWND window, const CREATESTRUCTW&) {
    wchar_t name[16] = {};
    ::GetClassNameW(window, name, 16);
    return std::wstring_view(name) == L"#32770";
  };
}

// A main window made for real in this process, with a recorder as its shell.
class MainWindowTest : public ::testing::Test {
 protected:
  TempTree m_tree;
  ShellRecorder* m_shell = nullptr;
  std::unique_ptr<TFMain> m_window;

  static void SetUpTestSuite() { InitializeApplication(); }

  // Opens the window on the scratch folder, or on no folder.
  void Open(bool withFolder = true) {
    auto shell = std::make_unique<ShellRecorder>();
    m_shell = shell.get();
    std::optional<std::string> argument;
    if (withFolder) argument = m_tree.Root();
    m_window = std::make_unique<TFMain>(argument, std::move(shell));
    ::ShowWindow(m_window->Handle(), SW_SHOW);
    Application.ProcessMessages();
  }
  // A cell's text as the list view shows it.
  static std::wstring Cell(HWND view, int row, int column) {
    wchar_t text[1024] = {};
    LVITEMW item = {};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = 1024;
    ::SendMessageW(view, LVM_GETITEMTEXTW, static_cast<WPARAM>(row),
                   reinterpret_cast<LPARAM>(&item));
    return text;
  }
  static int Count(HWND view) {
    return static_cast<int>(::SendMessageW(view, LVM_GETITEMCOUNT, 0, 0));
  }
  static void Select(HWND view, int row, bool selected = true) {
    LVITEMW state = {};
    state.stateMask = LVIS_SELECTED;
    state.state = selected ? LVIS_SELECTED : 0;
    ::SendMessageW(view, LVM_SETITEMSTATE, static_cast<WPARAM>(row),
                   reinterpret_cast<LPARAM>(&state));
  }
};

}  // namespace quillet::testing
