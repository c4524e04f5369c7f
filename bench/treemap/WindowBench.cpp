// The Windows program's treemap pane on a real display, in this process: the main window on
// FOLDER with the treemap shown, every row selected and the file view run; then the first paint
// of the treemap after the listing ended, a repaint after each of a few resizes of the window,
// and, for wine's share, the pane's own layout and picture at a new size without a window and a
// repaint that only blits the picture it has. Run by bench/treemap/window.sh under wine.
//   quillet-bench-treemap-window FOLDER
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "lists/Lists.h"
#include "scan/Utf16.h"
#include "ui/win32/Application.h"
#include "ui/win32/Main.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

SIZE ClientSize(HWND window) {
  RECT client = {};
  ::GetClientRect(window, &client);
  return {client.right, client.bottom};
}

// Widens the window by width and heightens it by height pixels.
void Grow(HWND window, int width, int height) {
  RECT frame = {};
  ::GetWindowRect(window, &frame);
  ::SetWindowPos(window, nullptr, 0, 0, frame.right - frame.left + width,
                 frame.bottom - frame.top + height, SWP_NOMOVE | SWP_NOZORDER);
}

// Drags the splitter up by pixels, as the mouse does.
void DragSplitter(HWND splitter, int pixels) {
  ::SendMessageW(splitter, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 1));
  ::SendMessageW(splitter, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(5, 1 - pixels));
  ::SendMessageW(splitter, WM_LBUTTONUP, 0, MAKELPARAM(5, 1 - pixels));
}

// Seconds until the pane has painted what act made it paint.
template <typename Act>
double UntilPainted(HWND pane, Act act) {
  const auto start = Clock::now();
  act();
  ::UpdateWindow(pane);
  ::GdiFlush();
  return Seconds(start);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: quillet-bench-treemap-window FOLDER\n");
    return 2;
  }
  using quillet::layout::Command;
  const std::string folder = quillet::ToUtf8(std::wstring_view(argv[1]));
  quillet::Application.Initialize();
  quillet::TFMain window(folder);
  ::ShowWindow(window.Handle(), SW_SHOW);
  // Most of the screen, the treemap as tall as the result list leaves it.
  ::SetWindowPos(window.Handle(), nullptr, 0, 0, 1200, 960, SWP_NOZORDER);
  DragSplitter(window.Splitter1(), 420);
  quillet::Application.ProcessMessages();
  const HWND pane = window.pbxTreemap();
  window.Commands().Run(Command::ViewTreemap);
  quillet::Application.ProcessMessages();
  window.Model().SelectAll(quillet::ListKind::Result, true);

  auto start = Clock::now();
  window.Commands().Run(Command::ViewFileViewFlag);
  const double listing = Seconds(start);
  const double first = UntilPainted(pane, [] {});
  SIZE size = ClientSize(pane);
  std::printf("file view: %zu rows listed in %.2f s\n", window.Model().FileRowCount(), listing);
  std::printf("first picture after the listing: %.3f s (pane %ldx%ld)\n", first, size.cx, size.cy);

  const struct {
    const char* What;
    std::function<void()> Act;
  } resizes[] = {{"the window narrower", [&] { Grow(window.Handle(), -200, 0); }},
                 {"the splitter up", [&] { DragSplitter(window.Splitter1(), 150); }},
                 {"the window wider", [&] { Grow(window.Handle(), 150, 0); }}};
  for (const auto& resize : resizes) {
    const double resized = UntilPainted(pane, resize.Act);
    size = ClientSize(pane);
    std::printf("repaint after %s: %.3f s (pane %ldx%ld)\n", resize.What, resized, size.cx,
                size.cy);
  }

  // Wine's share: the same layout and picture without a window, and the blit alone.
  quillet::TreemapPane& treemap = window.Commands().Treemap();
  start = Clock::now();
  treemap.Picture(static_cast<int>(size.cx) - 1, static_cast<int>(size.cy));
  const double layout = Seconds(start);
  treemap.Picture(static_cast<int>(size.cx), static_cast<int>(size.cy));
  const double blit = UntilPainted(pane, [&] { ::InvalidateRect(pane, nullptr, FALSE); });
  std::printf(
      "the pane's layout and picture alone: %.3f s; a repaint of the same picture: %.3f s\n",
      layout, blit);
  return 0;
}
