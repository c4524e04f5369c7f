// quillet-report: the lists from the command line. Rows as the program makes them at start,
// an analysis run, then the rows (and with --files the file view) as a table, CSV or JSON.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
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
#include "report/NcduOutput.h"
#include "report/Output.h"
#include "report/Report.h"
#include "ui/Progress.h"

namespace quillet::report {
namespace {

constexpr std::string_view kProgram = "quillet-report";

constexpr std::string_view kUsage =
    R"(Usage: quillet-report [OPTION]... [FOLDER]
Measures the folders directly inside FOLDER (and each --add folder itself): total size in bytes,
files and folders below each, then prints them with the totals over all rows.

  --add PATH          also measure PATH itself (repeatable)
  --import FILE       take the rows from a scan saved as ncdu's JSON export (ncdu -o, gdu -o,
                      --format ncdu; - for standard input): one per top folder of the scan
  --files             also list every file and folder below the rows, with each file's size
  --sort COLUMN       order by COLUMN: 0-5 or a caption (名前 場所 サイズ ファイル数 フォルダ数
                      ディスク上のサイズ); the file list by its column of the same caption
                      when it has one (名前 場所 サイズ ディスク上のサイズ)
  --descending        order from the largest (with no --sort: names descending)
  --zero              keep only the measured rows of size 0
  -x, --one-file-system
                      count a file system mounted below a row as a folder, not walked
  --exclude PATTERN   leave out every entry whose name matches the shell glob PATTERN, and
                      what lies below it (repeatable); JSON says per row how many: "excluded"
  --format FORMAT     table (default), csv, json, or ncdu: a scan ncdu, gdu and --import read
                      back (ncdu's JSON export of the walk of FOLDER, every entry below it)
  --help              show this help and exit
  --version           show the version and exit

JSON carries plain integers (null for a row not measured, or for a folder's size). Names that
are not valid UTF-8 keep their valid parts; each other byte is written as \ufffd.

Two sizes: サイズ ("size" in JSON) is what the files hold, each name of a file counted; ディスク上の
サイズ ("disk") is what the entries occupy on disk, folders included, as du -s -B1 counts it: a
sparse file only its written blocks, a file with several names (hard links) once per run, in the
first row that holds it.

"unreadable" counts the folders below a row that could not be searched: a CSV column of its
own, and in the table a ! after the row's name.

Progress goes to stderr when it is a terminal. Ctrl-C stops like the Cancel button: the update
after the one that noticed it stops, and what was measured is printed (exit status 130);
a second Ctrl-C ends at once.

With --files, each row is measured and listed in one walk. With no sort, the entries wait in a
temporary file in $TMPDIR (or /tmp) until the rows are printed, so memory does not grow with
their number. Interrupted, the report lists the entries of the rows it printed numbers for, and
none of the row it was walking.

Exit status:
  0    done
  1    a folder that cannot be searched, or a scan that cannot be read (the message gives the
       byte where reading stopped)
  2    a usage error
  3    the output (or the temporary listing) could not be written (a full disk, a pipe
       closed by its reader)
  130  interrupted
)";

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

// One line on stderr; names in message are shown as the table shows them.
int Fail(int status, const std::string& message) {
  std::cerr << kProgram << ": " << TerminalText(message) << '\n';
  return status;
}

// Ends with status once everything written to out has left; an output that could not be
// written ends with its own status instead, whatever status was.
int Finish(std::ostream& out, int status) {
  out.flush();
  const auto* output = dynamic_cast<const FdOutput*>(out.rdbuf());
  if (output && output->Error() != 0) {
    return Fail(kWriteFailed,
                std::string("cannot write the output: ") + std::strerror(output->Error()));
  }
  if (!out) return Fail(kWriteFailed, "cannot write the output");
  return status;
}

// Parses argv into options; returns an exit status when the program should end now.
std::optional<int> ParseArguments(int argc, char** argv, Request& options,
                                  std::optional<std::string>& importFrom, std::ostream& out) {
  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    std::string_view argument = argv[i];
    std::optional<std::string_view> attached;
    if (!optionsEnded && argument.starts_with("--")) {
      if (const auto equals = argument.find('='); equals != std::string_view::npos) {
        attached = argument.substr(equals + 1);
        argument = argument.substr(0, equals);
      }
    }
    // The option's value: attached after "=", or else the next argument.
    const auto value = [&]() -> std::optional<std::string_view> {
      if (attached) return attached;
      if (i + 1 >= argc) return std::nullopt;
      return std::string_view(argv[++i]);
    };
    const auto flag = [&](bool& target) {
      if (attached) return false;
      target = true;
      return true;
    };
    if (optionsEnded || argument == "-" || !argument.starts_with("-")) {
      if (options.Folder) return Fail(2, "more than one FOLDER: " + std::string(argument));
      options.Folder = std::string(argument);
    } else if (argument == "--") {
      optionsEnded = true;
    } else if (argument == "--help" || argument == "--version") {
      if (attached) return Fail(2, std::string(argument) + " takes no value (see --help)");
      if (argument == "--help") {
        out << kUsage;
      } else {
        out << kProgram << ' ' << QUILLET_VERSION << '\n';
      }
      return Finish(out, 0);
    } else if (argument == "--import") {
      const auto file = value();
      if (!file) return Fail(2, "--import needs a FILE (- for standard input)");
      if (importFrom) return Fail(2, "more than one --import");
      importFrom = std::string(*file);
    } else if (argument == "--add") {
      const auto path = value();
      if (!path) return Fail(2, "--add needs a PATH");
      options.Added.emplace_back(*path);
    } else if (argument == "--sort") {
      const auto column = value();
      if (!column) return Fail(2, "--sort needs a COLUMN");
      options.SortColumn = FindColumn(kResultColumns, *column);
      if (!options.SortColumn) return Fail(2, "unknown column for --sort: " + std::string(*column));
    } else if (argument == "--exclude") {
      const auto pattern = value();
      if (!pattern) return Fail(2, "--exclude needs a PATTERN");
      options.Walk.Excludes.emplace_back(*pattern);
    } else if (argument == "-x" || (argument == "--one-file-system" && !attached)) {
      options.Walk.OneFileSystem = true;
    } else if (argument == "--format") {
      const auto format = value();
      if (!format) return Fail(2, "--format needs table, csv, json or ncdu");
      if (*format == "table") {
        options.OutputFormat = Format::Table;
      } else if (*format == "csv") {
        options.OutputFormat = Format::Csv;
      } else if (*format == "json") {
        options.OutputFormat = Format::Json;
      } else if (*format == "ncdu") {
        options.OutputFormat = Format::Ncdu;
      } else {
        return Fail(2, "unknown format (table, csv, json or ncdu): " + std::string(*format));
      }
    } else if ((argument == "--files" && flag(options.Files)) ||
               (argument == "--descending" && flag(options.Descending)) ||
               (argument == "--zero" && flag(options.Zero))) {
    } else {
      return Fail(2, "unknown option: " + std::string(argv[i]) + " (see --help)");
    }
  }
  if (options.OutputFormat == Format::Ncdu &&
      (importFrom || options.Files || options.Zero || options.SortColumn || options.Descending ||
       (options.Folder ? 1u : 0u) + options.Added.size() != 1))
    return Fail(2, "--format ncdu exports the walk of one FOLDER (or one --add PATH), as it is");
  if (importFrom && (options.Folder || !options.Added.empty()))
    return Fail(2, "--import takes the rows from the scan: no FOLDER nor --add with it");
  if (!importFrom && !options.Folder && options.Added.empty()) {
    return Fail(2, "no FOLDER, no --add PATH and no --import FILE (see --help)");
  }
  return std::nullopt;
}

// Why folder cannot be searched, or nothing when its entries can be listed and queried. A folder
// that lets its names be read but not its entries be queried (no search permission) cannot be
// measured either, so one of its entries is queried too. A link to a folder is searched, as the
// lists search it.
std::optional<std::string> SearchFailure(const std::string& folder) {
  DIR* opened = ::opendir(folder.c_str());
  if (opened == nullptr) return std::string(std::strerror(errno));
  std::optional<std::string> failure;
  const dirent* entry = nullptr;
  errno = 0;
  while ((entry = ::readdir(opened)) != nullptr &&
         (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)) {
  }
  struct stat status;
  if (entry == nullptr && errno != 0) {
    failure = std::strerror(errno);
  } else if (entry != nullptr &&
             ::fstatat(::dirfd(opened), entry->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0 &&
             errno != ENOENT) {
    failure = std::strerror(errno);  // gone meanwhile is no fault
  }
  ::closedir(opened);
  return failure;
}

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
    if (const auto failure = SearchFailure(folder)) {
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
