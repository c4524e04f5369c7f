// quillet-report: the lists from the command line. Rows as the program makes them at start,
// an analysis run, then the rows (and with --files the file view) as a table, CSV or JSON, or
// an export of the walk in ncdu's format.
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "lists/Frontend.h"
#include "lists/Lists.h"
#include "report/Arguments.h"
#include "report/NcduOutput.h"
#include "report/Output.h"
#include "report/Report.h"
#include "scan/Gloval.h"
#include "ui/Progress.h"

namespace quillet::report {
namespace {

volatile std::sig_atomic_t g_interrupted = 0;

extern "C" void OnInterrupt(int) {
  g_interrupted = 1;
}

// The progress dialog of a terminal: the sub text on one line of stderr, written at each repaint.
// The pump is where an interrupt is noticed, so Ctrl-C takes effect exactly as a Cancel click does.
class TerminalProgress : public Progress {
 public:
  explicit TerminalProgress(bool show) : m_show(show) {}

 private:
  void ShowDialog() override {}
  void Repaint() override {
    if (!m_show) return;
    // One line whatever the path holds, cut between characters.
    const std::string shown = TerminalText(SubText());
    std::size_t cut = std::min<std::size_t>(shown.size(), 200);
    while (cut < shown.size() && (static_cast<unsigned char>(shown[cut]) & 0xC0) == 0x80)
      --cut;
    std::string line = "\r\x1b[K";
    line.append(shown, 0, cut);
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
    m_shown = true;
  }
  void Pump() override {
    if (g_interrupted) btnCancelClick();
  }
  void CloseDialog() override {
    if (m_shown) std::fputs("\r\x1b[K", stderr);
  }

  bool m_show;
  bool m_shown = false;
};

// The report reads the model's totals itself: the status bar's texts are for a window.
class ReportFrontend : public Frontend, public StatusBar {
 public:
  explicit ReportFrontend(bool showProgress) : m_showProgress(showProgress) {}
  std::unique_ptr<ProgressSink> CreateProgress() override {
    return std::make_unique<TerminalProgress>(m_showProgress);
  }
  StatusBar& Status() override { return *this; }
  void SetPanelText(StatusPanel, std::string_view) override {}

 private:
  bool m_showProgress;
};

int Run(int argc, char** argv) {
  FdOutput output(STDOUT_FILENO);
  std::ostream out(&output);
  Request options;
  std::optional<std::string> importFrom;
  if (const auto status = ParseArguments(argc, argv, options, importFrom, out)) return *status;
  if (importFrom) {
    ImportFailure failure;
    options.Imported = ImportedTree::ReadFile(*importFrom, failure);
    if (!options.Imported && failure.NotOpened)
      return Fail(1, "cannot read " + *importFrom + ": " + failure.Reason);
    if (!options.Imported)
      return Fail(1,
                  *importFrom + ": byte " + std::to_string(failure.Offset) + ": " + failure.Reason);
  }
  std::vector<std::string> searched = options.Added;
  if (options.Folder) searched.insert(searched.begin(), *options.Folder);
  for (const auto& folder : searched) {
    if (const auto failure = quillet::SearchFailure(folder)) {
      return Fail(1, "cannot search " + folder + ": " + *failure);
    }
  }

  struct sigaction action = {};
  action.sa_handler = OnInterrupt;
  action.sa_flags = SA_RESETHAND;  // a second Ctrl-C ends the program at once
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGINT, &action, nullptr);

  if (options.OutputFormat == Format::Ncdu) {
    bool finished = false;
    {
      NcduWriter writer(out, QUILLET_VERSION, static_cast<std::int64_t>(std::time(nullptr)));
      finished = WriteWalkExport(writer, searched.front(), options.Walk,
                                 [] { return g_interrupted == 0; });
      writer.Finish();
    }
    return Finish(out, finished ? 0 : 130);
  }

  ReportFrontend frontend(::isatty(STDERR_FILENO) == 1);
  const Outcome outcome = MakeReport(options, frontend, out);
  if (!outcome.Failure.empty()) {
    out.flush();
    return Fail(outcome.Status, outcome.Failure);
  }
  return Finish(out, outcome.Status);
}

}  // namespace
}  // namespace quillet::report

int main(int argc, char** argv) {
  return quillet::report::Run(argc, argv);
}
