// What the Windows program's tests put in the place of the user and of the shell: a recorder of
// the shell services, and a hook that answers each new window of a kind with one message.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ui/shell/Shell.h"

namespace quillet::testing {

// Records what the program hands to the shell; every service succeeds, the trash refuses none.
struct ShellRecorder : shell::Services {
  std::vector<std::string> Opened, Instances, Deleted;
  int FileManagers = 0;
  bool OpenPath(const std::string& path) override { return Opened.push_back(path), true; }
  bool StartFileManager() override { return ++FileManagers, true; }
  bool StartInstance(const std::string& folder) override {
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

}  // namespace quillet::testing
