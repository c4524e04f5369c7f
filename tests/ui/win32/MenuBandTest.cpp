// The menu band of the main window with its menus dropped for real: each key is pressed when a
// dropped menu waits for the user, and the menu's own modal loop takes it, as it takes theirs.
#include "ui/win32/MenuBand.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "Seams.h"

namespace quillet {
namespace {

// Watches the menus dropped on this thread (WM_INITMENUPOPUP to their owner) and presses the
// next key in target whenever one waits (WM_ENTERIDLE); Esc once the keys are used up, so that
// no menu stays down.
class MenuKeys {
 public:
  MenuKeys(HWND target, std::vector<WPARAM> keys) : m_target(target), m_keys(std::move(keys)) {
    s_current = this;
    m_hook = ::SetWindowsHookExW(WH_CALLWNDPROC, Hook, nullptr, ::GetCurrentThreadId());
  }
  ~MenuKeys() {
    ::UnhookWindowsHookEx(m_hook);
    s_current = nullptr;
  }
  MenuKeys(const MenuKeys&) = delete;
  MenuKeys& operator=(const MenuKeys&) = delete;

  std::vector<HMENU> Dropped;

 private:
  static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam) {
    MenuKeys* self = s_current;
    const CWPSTRUCT& sent = *reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && self != nullptr) {
      if (sent.message == WM_INITMENUPOPUP)
        self->Dropped.push_back(reinterpret_cast<HMENU>(sent.wParam));
      if (sent.message == WM_ENTERIDLE && sent.wParam == MSGF_MENU) {
        const WPARAM key = self->m_next < self->m_keys.size() ? self->m_keys[self->m_next++]
                                                              : static_cast<WPARAM>(VK_ESCAPE);
        ::PostMessageW(self->m_target, WM_KEYDOWN, key, 1);
      }
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
  }

  static inline MenuKeys* s_current = nullptr;
  HWND m_target;
  std::vector<WPARAM> m_keys;
  std::size_t m_next = 0;
  HHOOK m_hook = nullptr;
};

using MenuBandTest = testing::MainWindowTest;

// Left and Right close the dropped menu and drop its neighbour, round past either end; Esc
// closes it and leaves its entry marked, so the keyboard goes on from there.
TEST_F(MenuBandTest, ArrowsInADroppedMenuDropItsNeighbourAndEscLeavesItMarked) {
  Open(false);
  const HWND list = m_window->lvwResult();
  const auto hot = [&] {
    return static_cast<int>(::SendMessageW(m_window->tbrMenu(), TB_GETHOTITEM, 0, 0));
  };
  const struct {
    std::size_t First;
    std::vector<WPARAM> Keys;
    std::vector<std::size_t> Dropped;
  } cases[] = {
      {1, {VK_ESCAPE}, {1}},
      {1, {VK_RIGHT, VK_ESCAPE}, {1, 2}},
      {0, {VK_LEFT, VK_ESCAPE}, {0, 3}},
      {3, {VK_RIGHT, VK_RIGHT, VK_LEFT, VK_ESCAPE}, {3, 0, 1, 0}},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.First);
    ::SetFocus(list);
    std::vector<HMENU> expected;
    for (const std::size_t entry : test.Dropped)
      expected.push_back(m_window->MenuOf(entry));
    {
      MenuKeys keys(list, test.Keys);
      m_window->DropMenu(test.First);
      EXPECT_EQ(keys.Dropped, expected);
    }
    EXPECT_EQ(hot(), static_cast<int>(test.Dropped.back()));
    ::SendMessageW(list, WM_KEYDOWN, VK_ESCAPE, 1);  // and out of the menu
    EXPECT_EQ(hot(), -1);
    // The Down each neighbour asked for, found by no menu once Esc came first.
    MSG left;
    while (::PeekMessageW(&left, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE)) {
    }
  }
}

}  // namespace
}  // namespace quillet
