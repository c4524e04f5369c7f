// The Windows program's start on a folder, in this process: the start-up population of the row
// model alone (the folder's listing and its rows), then the main window made on the folder, and
// shown and painted the first time, each timed. Run by bench/startup/run.sh under wine.
//   quillet-bench-startup FOLDER [RUNS]
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
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

// A front end for the model alone: no progress, no status.
struct NoFrontend : quillet::Frontend, quillet::StatusBar {
  std::unique_ptr<quillet::ProgressSink> CreateProgress() override { return nullptr; }
  quillet::StatusBar& Status() override { return *this; }
  void SetPanelText(quillet::StatusPanel, std::string_view) override {}
};

struct Times {
  double Model = 0, Window = 0, Painted = 0;
  std::size_t Rows = 0;
};

Times Once(const std::string& folder) {
  Times times;
  NoFrontend frontend;
  quillet::ListsModel model(frontend);
  auto start = Clock::now();
  model.FormCreate(folder);
  times.Model = Seconds(start);

  start = Clock::now();
  quillet::TFMain window(folder);
  times.Window = Seconds(start);
  ::ShowWindow(window.Handle(), SW_SHOW);
  ::UpdateWindow(window.Handle());
  quillet::Application.ProcessMessages();
  times.Painted = Seconds(start);
  times.Rows = static_cast<std::size_t>(::SendMessageW(window.lvwResult(), LVM_GETITEMCOUNT, 0, 0));
  return times;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: quillet-bench-startup FOLDER [RUNS]\n");
    return 2;
  }
  const std::string folder = quillet::ToUtf8(std::wstring_view(argv[1]));
  const int runs = argc > 2 ? std::max(1, _wtoi(argv[2])) : 3;
  quillet::Application.Initialize();
  std::vector<Times> all;
  for (int i = 0; i < runs; ++i)
    all.push_back(Once(folder));
  // The best of the runs, phase by phase.
  const auto best = [&](double Times::*field) {
    double value = all[0].*field;
    for (const Times& times : all)
      value = std::min(value, times.*field);
    return value;
  };
  std::printf("rows %zu: model %.3f s, window made %.3f s, first paint %.3f s\n", all[0].Rows,
              best(&Times::Model), best(&Times::Window), best(&Times::Painted));
  return 0;
}
