// quillet-report end to end on generated trees, plus its text escapes.
#include <fcntl.h>
#include <grp.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "../lists/TestFrontend.h"
#include "../scan/ScopedTmpfs.h"
#include "../scan/TempTree.h"
#include "report/NcduOutput.h"
#include "report/Output.h"
#include "report/Report.h"
#include "scan/FileSystemFaults.h"
#include "scan/Import.h"

namespace quillet::report {
namespace {

struct Outcome {
  int Status = -1;
  std::string Out;
  std::string Err;
};

// Where the report's stdout goes.
enum class Out { Captured, DevFull, ClosedPipe };
// How the report is started.
struct Launch {
  // As a user without privileges (giving up root first when the tests have it), so that
  // folder permissions count; status 124 when that cannot be arranged here.
  bool Unprivileged = false;
  // ClosedPipe: a pipe nobody reads any more, with SIGPIPE ignored, so writes fail with EPIPE.
  Out Stdout = Out::Captured;
  // The program started.
  std::string Program = QUILLET_REPORT_PATH;
};

class ReportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_root = std::filesystem::temp_directory_path() /
             ("quillet-report-" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(m_root);
    File("base/alpha/a.txt", 1000);
    File("base/alpha/deep/b.bin", 234);
    File("base/beta/empty.txt", 0);
    Folder("base/gamma/sub/subsub");
    File("base/top-level-file", 9);
  }
  void TearDown() override { std::filesystem::remove_all(m_root); }

  std::string Path(std::string_view relative) const { return (m_root / relative).string(); }
  void Folder(std::string_view relative) const {
    std::filesystem::create_directories(m_root / relative);
  }
  void File(std::string_view relative, std::size_t size) const {
    std::filesystem::create_directories((m_root / relative).parent_path());
    std::ofstream(m_root / relative, std::ios::binary) << std::string(size, 'x');
  }

  // Runs the report through the shell with stderr captured, and stdout when Captured.
  Outcome Run(const std::string& arguments, Launch launch = {}) const {
    const std::string errFile = (m_root / "stderr.txt").string();
    Outcome outcome;
    int channel[2];
    if (::pipe(channel) != 0) return outcome;
    if (launch.Stdout == Out::ClosedPipe) {
      ::close(channel[0]);
      channel[0] = -1;
    }
    const pid_t child = ::fork();
    if (child == 0) {
      const int err = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      const int out = launch.Stdout == Out::DevFull ? ::open("/dev/full", O_WRONLY) : channel[1];
      if (err < 0 || out < 0 || ::dup2(err, 2) < 0 || ::dup2(out, 1) < 0) ::_exit(125);
      if (launch.Stdout == Out::ClosedPipe) ::signal(SIGPIPE, SIG_IGN);
      std::string program = launch.Program;
      if (launch.Unprivileged) {
        // The build tree may lie where the user the test becomes cannot enter (a checkout under
        // /root): the program is opened while the rights are still there and started through
        // its descriptor, from a folder everyone may enter.
        const int image = ::open(program.c_str(), O_RDONLY);
        if (image < 0 || ::chdir("/") != 0) ::_exit(125);
        program = "/proc/self/fd/" + std::to_string(image);
        if (::geteuid() == 0 &&
            (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)) {
          ::_exit(124);
        }
      }
      const std::string command = program + " " + arguments;
      ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
      ::_exit(126);
    }
    ::close(channel[1]);
    if (channel[0] >= 0) {
      char buffer[4096];
      for (ssize_t n; (n = ::read(channel[0], buffer, sizeof buffer)) > 0;)
        outcome.Out.append(buffer, static_cast<std::size_t>(n));
      ::close(channel[0]);
    }
    int status = 0;
    if (child > 0) ::waitpid(child, &status, 0);
    outcome.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream err(errFile);
    outcome.Err.assign(std::istreambuf_iterator<char>(err), {});
    return outcome;
  }
  std::string Quoted(std::string_view relative) const { return "'" + Path(relative) + "'"; }
  // The text with every '@' replaced by the path of the generated folder "base".
  std::string Based(std::string text) const {
    for (auto at = text.find('@'); at != std::string::npos; at = text.find('@', at))
      text.replace(at, 1, Path("base"));
    return text;
  }

  // What du -s -B1 OPTIONS says each folder below the root occupies, in order.
  std::vector<std::int64_t> Du(const std::vector<std::string>& relatives,
                               const std::string& options = {}) const {
    std::vector<std::string> paths;
    for (const auto& relative : relatives)
      paths.push_back(Path(relative));
    return testing::DiskUsage(paths, options);
  }
  // What one entry itself occupies, from find's count of 512-byte blocks.
  std::int64_t OwnBlocks(std::string_view relative) const {
    FILE* find = ::popen(("find " + Quoted(relative) + " -maxdepth 0 -printf %b").c_str(), "r");
    if (!find) return -1;
    char text[64] = {};
    const bool read = std::fgets(text, sizeof text, find) != nullptr;
    ::pclose(find);
    return read ? std::stoll(text) * 512 : -1;
  }

  std::filesystem::path m_root;
};

// A count as a CSV cell: grouped, and quoted once it holds a comma.
std::string CsvCount(std::int64_t count) {
  const std::string text = CountText(count);
  return text.find(',') == std::string::npos ? text : "\"" + text + "\"";
}

TEST_F(ReportTest, TableShowsEveryRowAndTheTotals) {
  const Outcome outcome = Run(Quoted("base") + " --sort 名前");
  ASSERT_EQ(outcome.Status, 0) << outcome.Err;
  EXPECT_EQ(outcome.Err, "");  // no progress when stderr is not a terminal
  const std::string base = Path("base");
  const std::size_t width = base.size() + 6;  // "/alpha" and "/gamma" are the longest
  const auto pad = [](std::string text, std::size_t size) {
    text.resize(std::max(size, text.size()), ' ');
    return text;
  };
  const std::vector<std::int64_t> du = Du({"base/alpha", "base/beta", "base/gamma"});
  ASSERT_EQ(du.size(), 3u);
  // The caption is 18 terminal columns wide, wider than any of these numbers.
  const auto disk = [](std::int64_t size) {
    const std::string text = CountText(size);
    return std::string(18 - text.size(), ' ') + text;
  };
  const std::string expected =
      "名前   " + pad("場所", width + 2) +
      "  サイズ  ファイル数  フォルダ数  ディスク上のサイズ\n" + "alpha  " +
      pad(base + "/alpha", width) + "   1,234           2           1  " + disk(du[0]) + "\n" +
      "beta   " + pad(base + "/beta", width) + "       0           1           0  " + disk(du[1]) +
      "\n" + "gamma  " + pad(base + "/gamma", width) + "       0           0           2  " +
      disk(du[2]) + "\n" + "\n3 lists  1,234 byte (" + CountText(du[0] + du[1] + du[2]) +
      " on disk)  3 files  3 forders\n";
  EXPECT_EQ(outcome.Out, expected);
}

TEST_F(ReportTest, CsvQuotesGroupedNumbersAndZeroKeepsOnlyMeasuredEmptyRows) {
  const Outcome sorted = Run(Quoted("base") + " --format csv --sort サイズ --descending");
  ASSERT_EQ(sorted.Status, 0) << sorted.Err;
  // Equal sizes may come in either order; alpha is first.
  const std::string header =
      "\xEF\xBB\xBF名前,場所,サイズ,ファイル数,フォルダ数,ディスク上のサイズ,unreadable\r\n";
  const std::vector<std::int64_t> du = Du({"base/alpha", "base/beta", "base/gamma"});
  ASSERT_EQ(du.size(), 3u);
  const std::string alpha = Based("alpha,@/alpha,\"1,234\",2,1," + CsvCount(du[0]) + ",0\r\n");
  const std::string beta = Based("beta,@/beta,0,1,0," + CsvCount(du[1]) + ",0\r\n");
  const std::string gamma = Based("gamma,@/gamma,0,0,2," + CsvCount(du[2]) + ",0\r\n");
  EXPECT_EQ(sorted.Out.substr(0, sorted.Out.find("\r\n", header.size()) + 2), header + alpha);
  EXPECT_NE(sorted.Out.find(beta), std::string::npos);
  EXPECT_NE(sorted.Out.find(gamma), std::string::npos);
  const Outcome zero = Run(Quoted("base") + " --zero --format csv --sort 0");
  ASSERT_EQ(zero.Status, 0) << zero.Err;
  EXPECT_EQ(zero.Out, header + beta + gamma);
}

// The CSV opens right in a spreadsheet: it says it is UTF-8 once, at its start, and a name
// that a spreadsheet would evaluate is written as text; JSON keeps every name exact.
TEST_F(ReportTest, CsvIsMarkedUtf8AndNoNameIsAFormula) {
  const std::string names[] = {
      "=HYPERLINK(\"x\",\"y\")", "+1", "-rf", "@SUM(A1)", "\tt", "\rr", "plain-=x"};
  for (const std::string& name : names)
    File("sheet/" + name + "/f", 1);
  const Outcome csv = Run(Quoted("sheet") + " --files --format csv --sort 0");
  ASSERT_EQ(csv.Status, 0) << csv.Err;
  EXPECT_EQ(csv.Out.rfind("\xEF\xBB\xBF名前,", 0), 0u);
  EXPECT_EQ(csv.Out.find("\xEF\xBB\xBF", 3), std::string::npos);
  for (const char* row :
       {"\r\n\"'=HYPERLINK(\"\"x\"\",\"\"y\"\")\",", "\r\n\"'+1\",", "\r\n\"'-rf\",",
        "\r\n\"'@SUM(A1)\",", "\r\n\"'\tt\",", "\r\n\"'\rr\",", "\r\nplain-=x,"}) {
    EXPECT_NE(csv.Out.find(row), std::string::npos) << row << "\n" << csv.Out;
  }
  // No record of either list begins with what starts a formula.
  for (std::size_t at = csv.Out.find("\r\n"); at != std::string::npos;
       at = csv.Out.find("\r\n", at + 2)) {
    const char first = at + 2 < csv.Out.size() ? csv.Out[at + 2] : ',';
    EXPECT_EQ(std::string_view("=+-@\t").find(first), std::string::npos) << csv.Out.substr(at);
  }
  const Outcome json = Run(Quoted("sheet") + " --format json --sort 0");
  EXPECT_NE(json.Out.find("\"name\": \"=HYPERLINK(\\\"x\\\",\\\"y\\\")\""), std::string::npos)
      << json.Out;
  EXPECT_NE(json.Out.find("\"name\": \"-rf\""), std::string::npos) << json.Out;
}

TEST_F(ReportTest, JsonCarriesRawNumbersAndEntries) {
  const Outcome outcome = Run("--add " + Quoted("base/alpha") + " --add " + Quoted("base/beta") +
                              " --files --format=json --sort 1");
  ASSERT_EQ(outcome.Status, 0) << outcome.Err;
  const std::vector<std::int64_t> du = Du({"base/alpha", "base/beta"});
  ASSERT_EQ(du.size(), 2u);
  const auto own = [&](std::string_view relative) {
    return std::to_string(OwnBlocks(std::string("base/") + std::string(relative)));
  };
  EXPECT_EQ(outcome.Out, Based(R"({
  "complete": true,
  "rows": [
    {"name": "alpha", "location": "@/alpha", "size": 1234, "files": 2, "folders": 1, "unreadable": 0, "disk": )" +
                               std::to_string(du[0]) + R"(, "excluded": 0},
    {"name": "beta", "location": "@/beta", "size": 0, "files": 1, "folders": 0, "unreadable": 0, "disk": )" +
                               std::to_string(du[1]) + R"(, "excluded": 0}
  ],
  "totals": {"lists": 2, "bytes": 1234, "files": 3, "folders": 1, "unreadable": 0, "disk": )" +
                               std::to_string(du[0] + du[1]) + R"(, "excluded": 0},
  "entries": [
    {"name": "a.txt", "location": "@/alpha/a.txt", "size": 1000, "disk": )" +
                               own("alpha/a.txt") + R"(},
    {"name": "deep", "location": "@/alpha/deep", "size": null, "disk": )" +
                               own("alpha/deep") + R"(},
    {"name": "b.bin", "location": "@/alpha/deep/b.bin", "size": 234, "disk": )" +
                               own("alpha/deep/b.bin") + R"(},
    {"name": "empty.txt", "location": "@/beta/empty.txt", "size": 0, "disk": )" +
                               own("beta/empty.txt") + R"(}
  ]
}
)"));
}

TEST_F(ReportTest, NamesThatAreNotUtf8StillMakeValidJson) {
  File(
      "odd/bad\xff\xfe"
      "name\x01q\"",
      1);
  const Outcome outcome = Run("--add " + Quoted("odd") + " --files --format json");
  ASSERT_EQ(outcome.Status, 0) << outcome.Err;
  EXPECT_NE(outcome.Out.find("\"name\": \"bad\\ufffd\\ufffdname\\u0001q\\\"\""), std::string::npos)
      << outcome.Out;
}

TEST_F(ReportTest, TableShowsEveryNameOnOneLineAndSendsNoControlsToTheTerminal) {
  const char* names[] = {"new\nline", "esc\x1b]0;title\x07",
                         "csi\xc2\x9b"
                         "2J",
                         "bad\xff", "tab\tx"};
  for (const char* name : names)
    File(std::string("odd/") + name + "/f", 1);
  const Outcome outcome = Run(Quoted("odd") + " --files --sort 0");
  ASSERT_EQ(outcome.Status, 0) << outcome.Err;
  // Header, five rows, blank, totals, blank, header, five files.
  EXPECT_EQ(std::count(outcome.Out.begin(), outcome.Out.end(), '\n'), 15) << outcome.Out;
  const auto control = [](unsigned char byte) {
    return (byte < 0x20 && byte != '\n') || byte == 0x7F || byte == 0xFF;
  };
  EXPECT_EQ(std::find_if(outcome.Out.begin(), outcome.Out.end(), control), outcome.Out.end());
  EXPECT_EQ(outcome.Out.find("\xc2\x9b"), std::string::npos);
  for (const char* shown : {"new?line", "esc?]0;title?", "csi?2J", "bad?", "tab?x"})
    EXPECT_NE(outcome.Out.find(shown), std::string::npos) << shown;
  // The columns stay aligned: every row of the result table is as wide as its header.
  const std::string header = outcome.Out.substr(0, outcome.Out.find('\n'));
  const std::string row = outcome.Out.substr(
      header.size() + 1, outcome.Out.find('\n', header.size() + 1) - header.size() - 1);
  EXPECT_EQ(DisplayWidth(row), DisplayWidth(header));
}

TEST_F(ReportTest, BadInvocationsGetOneLineAndAFailingStatus) {
  const std::string cases[] = {
      "",
      "--format xml " + Quoted("base"),
      "--sort nine " + Quoted("base"),
      "--bogus " + Quoted("base"),
      "--add",
      Quoted("base") + " " + Quoted("base/alpha"),
      Quoted("base/top-level-file"),
      "--add " + Quoted("missing"),
      // A name with a line break or an escape is still one line, and no command.
      Quoted("missing\nsecond line"),
      Quoted("base") + " 'extra\x1b[2J\nfolder'",
  };
  for (const auto& arguments : cases) {
    const Outcome outcome = Run(arguments);
    EXPECT_NE(outcome.Status, 0) << arguments;
    EXPECT_EQ(outcome.Out, "") << arguments;
    EXPECT_EQ(std::count(outcome.Err.begin(), outcome.Err.end(), '\n'), 1) << arguments;
    EXPECT_EQ(outcome.Err.rfind("quillet-report: ", 0), 0u) << outcome.Err;
    EXPECT_EQ(outcome.Err.find('\x1b'), std::string::npos) << outcome.Err;
  }
}

TEST_F(ReportTest, ALinkToAFolderIsSearchedAndAFailureSaysWhy) {
  std::filesystem::create_directory_symlink(Path("base"), Path("link"));
  const Outcome listed = Run(Quoted("link") + " --format csv --sort 0");
  ASSERT_EQ(listed.Status, 0) << listed.Err;
  const std::vector<std::int64_t> du = Du({"base/alpha"});
  ASSERT_EQ(du.size(), 1u);
  EXPECT_NE(listed.Out.find("\r\nalpha," + Path("link") + "/alpha,\"1,234\",2,1," +
                            CsvCount(du[0]) + ",0\r\n"),
            std::string::npos)
      << listed.Out;
  const Outcome added = Run("--add " + Quoted("link") + " --format csv");
  ASSERT_EQ(added.Status, 0) << added.Err;
  EXPECT_NE(added.Out.find("\r\nlink," + Path("link") + ",\"1,243\",4,6," +
                           CsvCount(Du({"base"}).at(0)) + ",0\r\n"),
            std::string::npos)
      << added.Out;

  struct Case {
    std::string Arguments;
    std::string Error;
  };
  const Case cases[] = {
      {Quoted("missing"), "cannot search " + Path("missing") + ": No such file or directory\n"},
      {"--add " + Quoted("base/top-level-file"),
       "cannot search " + Path("base/top-level-file") + ": Not a directory\n"},
  };
  for (const auto& c : cases) {
    const Outcome outcome = Run(c.Arguments);
    EXPECT_EQ(outcome.Status, 1) << c.Arguments;
    EXPECT_EQ(outcome.Out, "");
    EXPECT_EQ(outcome.Err, "quillet-report: " + c.Error);
  }
}

// Folders that cannot be searched, as a user without privileges meets them: one that cannot be
// opened and one whose names can be read but whose entries cannot be queried.
TEST_F(ReportTest, FoldersThatCannotBeSearchedAreCountedAndShown) {
  File("base/alpha/locked/secret", 50);
  File("base/gamma/names-only/x", 7);
  struct Restore {
    std::vector<std::string> Folders;
    ~Restore() {
      for (const auto& folder : Folders)
        ::chmod(folder.c_str(), 0755);
    }
  } restore{{Path("base/alpha/locked"), Path("base/gamma/names-only")}};
  ASSERT_EQ(::chmod(Path("base/alpha/locked").c_str(), 0), 0);
  ASSERT_EQ(::chmod(Path("base/gamma/names-only").c_str(), 0444), 0);

  const Outcome json = Run(Quoted("base") + " --format json --sort 0", {.Unprivileged = true});
  if (json.Status == 124) GTEST_SKIP() << "cannot drop privileges";
  ASSERT_EQ(json.Status, 0) << json.Err;
  // What can be read: the locked folder not even itself (it cannot be opened), the folder of
  // names only itself but none of its entries.
  const std::vector<std::int64_t> du =
      Du({"base/alpha", "base/beta", "base/gamma"}, "--exclude=locked --exclude=x");
  ASSERT_EQ(du.size(), 3u);
  const auto disk = [&](std::size_t row) { return std::to_string(du[row]); };
  EXPECT_EQ(json.Out, Based(R"({
  "complete": true,
  "rows": [
    {"name": "alpha", "location": "@/alpha", "size": 1234, "files": 2, "folders": 2, "unreadable": 1, "disk": )" +
                            disk(0) + R"(, "excluded": 0},
    {"name": "beta", "location": "@/beta", "size": 0, "files": 1, "folders": 0, "unreadable": 0, "disk": )" +
                            disk(1) + R"(, "excluded": 0},
    {"name": "gamma", "location": "@/gamma", "size": 0, "files": 0, "folders": 3, "unreadable": 1, "disk": )" +
                            disk(2) + R"(, "excluded": 0}
  ],
  "totals": {"lists": 3, "bytes": 1234, "files": 3, "folders": 5, "unreadable": 2, "disk": )" +
                            std::to_string(du[0] + du[1] + du[2]) + R"(, "excluded": 0}
}
)"));
  // Measured in the same walk that lists the entries, the rows are the same.
  const Outcome listed = Run(Quoted("base") + " --files --format json", {.Unprivileged = true});
  for (
      const char* row :
      {R"({"name": "alpha", "location": "@/alpha", "size": 1234, "files": 2, "folders": 2, "unreadable": 1, "disk": )",
       R"({"name": "gamma", "location": "@/gamma", "size": 0, "files": 0, "folders": 3, "unreadable": 1, "disk": )",
       R"("totals": {"lists": 3, "bytes": 1234, "files": 3, "folders": 5, "unreadable": 2, "disk": )"}) {
    EXPECT_NE(listed.Out.find(Based(row)), std::string::npos) << row << "\n" << listed.Out;
  }
  const Outcome csv = Run(Quoted("base") + " --format csv --sort 0", {.Unprivileged = true});
  EXPECT_EQ(
      csv.Out,
      Based("\xEF\xBB\xBF名前,場所,サイズ,ファイル数,フォルダ数,ディスク上のサイズ,unreadable\r\n"
            "alpha,@/alpha,\"1,234\",2,2," +
            CsvCount(du[0]) +
            ",1\r\n"
            "beta,@/beta,0,1,0," +
            CsvCount(du[1]) +
            ",0\r\n"
            "gamma,@/gamma,0,0,3," +
            CsvCount(du[2]) + ",1\r\n"));
  // The table marks the rows and says once, under the table, what the mark means.
  const Outcome table = Run(Quoted("base") + " --sort 0", {.Unprivileged = true});
  const auto lineOf = [&](std::string_view start) {
    const auto at = table.Out.find(std::string("\n") + std::string(start));
    if (at == std::string::npos) return std::string();
    return table.Out.substr(at + 1, table.Out.find('\n', at + 1) - at - 1);
  };
  // The size on disk last, right-aligned under its caption of 18 terminal columns.
  const auto diskCell = [](std::int64_t size) {
    const std::string text = CountText(size);
    return std::string(18 - text.size(), ' ') + text;
  };
  EXPECT_TRUE(lineOf("alpha! ").ends_with("1,234           2           2  " + diskCell(du[0])))
      << table.Out;
  EXPECT_TRUE(lineOf("beta   ").ends_with("    0           1           0  " + diskCell(du[1])))
      << table.Out;
  EXPECT_TRUE(lineOf("gamma! ").ends_with("    0           0           3  " + diskCell(du[2])))
      << table.Out;
  EXPECT_EQ(lineOf("!"),
            "! after a name: 2 folders below could not be searched; the numbers leave out what "
            "they hold")
      << table.Out;

  // A folder to list or to measure that cannot be searched is refused with the system's reason.
  for (const std::string& arguments :
       {Quoted("base/gamma/names-only"), "--add " + Quoted("base/gamma/names-only"),
        Quoted("base/alpha/locked")}) {
    const Outcome refused = Run(arguments, {.Unprivileged = true});
    EXPECT_EQ(refused.Status, 1) << arguments;
    EXPECT_EQ(refused.Out, "");
    EXPECT_TRUE(refused.Err.ends_with(": Permission denied\n")) << refused.Err;
  }
}

// A checkout in a folder other users cannot enter still runs the program as one of them.
TEST_F(ReportTest, AProgramInAPrivateFolderRunsUnprivileged) {
  const std::filesystem::path hidden = m_root / "private";
  std::filesystem::create_directory(hidden);
  std::filesystem::copy_file(QUILLET_REPORT_PATH, hidden / "quillet-report");
  ASSERT_EQ(::chmod(hidden.c_str(), 0700), 0);
  const Outcome outcome =
      Run(Quoted("base"), {.Unprivileged = true, .Program = (hidden / "quillet-report").string()});
  if (outcome.Status == 124) GTEST_SKIP() << "cannot drop privileges";
  EXPECT_EQ(outcome.Status, 0) << outcome.Err;
  EXPECT_NE(outcome.Out.find("3 lists  1,234 byte"), std::string::npos) << outcome.Out;
}

// A scan ncdu saved reads back into the report a walk of the same tree makes, rows, numbers and
// entries alike; a scan that cannot be read says where, and prints nothing.
TEST_F(ReportTest, AnImportedScanGivesTheReportOfAWalk) {
  std::filesystem::create_hard_link(Path("base/alpha/a.txt"), Path("base/beta/linked"));
  const std::string saved = Path("saved.json");
  ASSERT_EQ(std::system(("ncdu -0 -o '" + saved + "' " + Quoted("base")).c_str()), 0);
  for (const char* options :
       {" --files --format json --sort 0", " --format csv --sort 2 --descending", " --zero"}) {
    const Outcome walked = Run(Quoted("base") + options);
    const Outcome imported = Run("--import '" + saved + "'" + options);
    ASSERT_EQ(imported.Status, 0) << imported.Err;
    EXPECT_EQ(imported.Out, walked.Out) << options;
  }
  const Outcome piped = Run("--import - < '" + saved + "' --format json");
  EXPECT_EQ(piped.Out, Run(Quoted("base") + " --format json").Out);

  File("cut.json", 0);
  std::ofstream(Path("cut.json")) << R"([1,2,{},[{"name":"/x"},[{"name":"a","asize":1}])";
  const Outcome cut = Run("--import " + Quoted("cut.json"));
  EXPECT_EQ(cut.Status, 1);
  EXPECT_EQ(cut.Out, "");
  EXPECT_EQ(cut.Err, "quillet-report: " + Path("cut.json") +
                         ": byte 47: the export ends before its tree does (cut short?)\n");
  EXPECT_EQ(Run("--import " + Quoted("missing.json")).Status, 1);
  EXPECT_EQ(Run("--import " + Quoted("cut.json") + " " + Quoted("base")).Status, 2);
}

// --exclude leaves matching names out of every number, says how many in JSON and under the
// table; -x keeps the walk on the row's file system. du with the same options is the oracle.
TEST_F(ReportTest, ExcludesAndOneFileSystemReachTheWalk) {
  File("base/alpha/debug.log", 4000);
  File("base/alpha/deep/cache/c.bin", 8000);
  Folder("base/alpha/mnt");
  const testing::ScopedTmpfs mount(Path("base/alpha/mnt"));
  const bool mounted = mount.Mounted();
  if (mounted) File("base/alpha/mnt/elsewhere.bin", 9000);
  const std::string options = " --exclude '*.log' --exclude=cache -x";
  const Outcome json = Run("--add " + Quoted("base/alpha") + options + " --format json");
  ASSERT_EQ(json.Status, 0) << json.Err;
  const std::vector<std::int64_t> du = Du({"base/alpha"}, "-x --exclude='*.log' --exclude=cache");
  ASSERT_EQ(du.size(), 1u);
  EXPECT_NE(
      json.Out.find(Based(
          R"("location": "@/alpha", "size": 1234, "files": 2, "folders": 2, "unreadable": 0, "disk": )" +
          std::to_string(du[0]) + R"(, "excluded": 2})")),
      std::string::npos)
      << json.Out;
  const Outcome table = Run("--add " + Quoted("base/alpha") + options);
  EXPECT_NE(table.Out.find("\n2 entries left out by --exclude, and what lies below them\n"),
            std::string::npos)
      << table.Out;
  const Outcome plain = Run("--add " + Quoted("base/alpha"));
  EXPECT_EQ(plain.Out.find("left out"), std::string::npos) << plain.Out;
  const Outcome missing = Run(Quoted("base") + " --exclude");
  EXPECT_EQ(missing.Status, 2);
  EXPECT_EQ(missing.Err, "quillet-report: --exclude needs a PATTERN\n");
}

// Every entry of two exports the same, the roots' own fields aside (ncdu stats the root itself).
void ExpectSameTrees(const ImportedTree& ours, const ImportedTree& theirs,
                     const std::string& what) {
  ASSERT_EQ(ours.Size(), theirs.Size()) << what;
  for (ImportedTree::Index node = 1; node < ours.Size(); ++node) {
    const ImportedTree::Entry a = ours.At(node);
    const ImportedTree::Entry b = theirs.At(node);
    EXPECT_EQ(a.Name, b.Name) << what << " " << node;
    EXPECT_EQ(a.IsFolder, b.IsFolder) << what << " " << a.Name;
    EXPECT_EQ(a.Size, b.Size) << what << " " << a.Name;
    EXPECT_EQ(a.Disk, b.Disk) << what << " " << a.Name;
    EXPECT_EQ(a.NotRegular, b.NotRegular) << what << " " << a.Name;
    EXPECT_EQ(a.HardLinked, b.HardLinked) << what << " " << a.Name;
    EXPECT_EQ(a.ReadError, b.ReadError) << what << " " << a.Name;
    EXPECT_EQ(a.Excluded, b.Excluded) << what << " " << a.Name;
    EXPECT_EQ(ours.ParentOf(node), theirs.ParentOf(node)) << what << " " << a.Name;
    EXPECT_EQ(ours.End(node), theirs.End(node)) << what << " " << a.Name;
  }
}

// The export of a walk is the export ncdu makes of the same tree, entry by entry, hostile names,
// links, hard links, a sparse file, a mount and excludes included; ncdu reads it and writes it
// back the same, and --import reads it back into the report of the walk.
TEST_F(ReportTest, TheExportOfAWalkIsNcdusOwn) {
  for (const char* name : {"new\nline", "quote\"back\\slash", "ctl\x01x", "bad\xff\xfe", "写真 ☃"})
    File(std::string("base/gamma/") + name + "/f.bin", 17);
  std::filesystem::create_hard_link(Path("base/alpha/a.txt"), Path("base/beta/linked"));
  std::filesystem::create_symlink("../alpha", Path("base/beta/link"));
  ASSERT_EQ(::mkfifo(Path("base/beta/fifo").c_str(), 0600), 0);
  std::filesystem::resize_file(Path("base/alpha/deep/b.bin"), 1 << 20);  // sparse from here
  File("base/alpha/skip.log", 50);
  Folder("base/alpha/mnt");
  const testing::ScopedTmpfs mount(Path("base/alpha/mnt"));
  const bool mounted = mount.Mounted();
  if (mounted) File("base/alpha/mnt/inside.bin", 5);

  const auto read = [](const std::string& text, const std::string& what) {
    ImportFailure failure;
    auto tree = ImportedTree::Read(text, failure);
    EXPECT_NE(tree, nullptr) << what << ": " << failure.Reason << " at " << failure.Offset;
    return tree;
  };
  for (const std::string options : {"", " -x --exclude '*.log'"}) {
    const Outcome ours = Run(Quoted("base") + " --format ncdu" + options);
    ASSERT_EQ(ours.Status, 0) << ours.Err;
    const std::string saved = Path("ours.json");
    std::ofstream(saved, std::ios::binary) << ours.Out;
    const std::string ncduOptions = options.empty() ? "" : " -x --exclude '*.log'";
    std::string theirs;
    {
      FILE* pipe = ::popen(("ncdu -0" + ncduOptions + " -o - " + Quoted("base")).c_str(), "r");
      ASSERT_NE(pipe, nullptr);
      char buffer[4096];
      for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        theirs.append(buffer, n);
      ASSERT_EQ(::pclose(pipe), 0);
    }
    const auto ourTree = read(ours.Out, "ours" + options);
    const auto theirTree = read(theirs, "ncdu's" + options);
    ASSERT_TRUE(ourTree && theirTree);
    ExpectSameTrees(*ourTree, *theirTree, "ncdu's export" + options);

    // gdu reads ours to the top-level sizes it reads from ncdu's.
    std::ofstream(Path("theirs.json"), std::ios::binary) << theirs;
    const auto gdu = [&](const std::string& file) {
      std::string shown;
      FILE* pipe = ::popen(("gdu -f " + Quoted(file) + " -n -p 2>&1").c_str(), "r");
      char buffer[4096];
      for (std::size_t n; pipe && (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        shown.append(buffer, n);
      if (pipe) ::pclose(pipe);
      return shown;
    };
    EXPECT_FALSE(gdu("theirs.json").empty());
    EXPECT_EQ(gdu("ours.json"), gdu("theirs.json"));

    // ncdu reads ours and writes it back unchanged.
    ASSERT_EQ(std::system(("ncdu -f '" + saved + "' -o " + Quoted("again.json")).c_str()), 0);
    std::ifstream again(Path("again.json"), std::ios::binary);
    const auto againTree = read({std::istreambuf_iterator<char>(again), {}}, "ncdu's reading");
    ASSERT_TRUE(againTree);
    ExpectSameTrees(*ourTree, *againTree, "ncdu's reading of ours" + options);
    EXPECT_EQ(againTree->At(0).Name, ourTree->At(0).Name);
  }
  // Read back, the export reports as the walk does.
  const Outcome ours = Run(Quoted("base") + " --format ncdu");
  std::ofstream(Path("ours.json"), std::ios::binary) << ours.Out;
  EXPECT_EQ(Run("--import " + Quoted("ours.json") + " --files --format json --sort 0").Out,
            Run(Quoted("base") + " --files --format json --sort 0").Out);
  EXPECT_EQ(Run(Quoted("base") + " --format ncdu --files").Status, 2);
}

// A chain deeper than any one path the system takes is exported and read back whole.
TEST_F(ReportTest, AChainOf2100FoldersIsExportedAndReadBack) {
  std::string relative = "base/chain";
  const std::string top = Path(relative);
  std::filesystem::create_directories(top);
  int fd = ::open(top.c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(fd, 0);
  for (int i = 0; i < 2100; ++i) {
    ASSERT_EQ(::mkdirat(fd, "d", 0755), 0);
    const int next = ::openat(fd, "d", O_RDONLY | O_DIRECTORY);
    ::close(fd);
    ASSERT_GE(next, 0);
    fd = next;
  }
  const int leaf = ::openat(fd, "leaf", O_WRONLY | O_CREAT, 0644);
  ASSERT_EQ(::write(leaf, "abc", 3), 3);
  ::close(leaf);
  ::close(fd);
  const Outcome exported = Run(Quoted("base") + " --format ncdu");
  ASSERT_EQ(exported.Status, 0) << exported.Err;
  ImportFailure failure;
  const auto tree = ImportedTree::Read(exported.Out, failure);
  ASSERT_NE(tree, nullptr) << failure.Reason << " at " << failure.Offset;
  const auto chain = tree->Find(Path("base/chain"), '/');
  ASSERT_TRUE(chain);
  EXPECT_EQ(tree->Statistics(*chain).FolderCount, 2100);
  EXPECT_EQ(tree->Statistics(*chain).TotalSize, 3);
  // Removed by a tool that walks it level by level: its paths are too long for one call.
  ASSERT_EQ(std::system(("rm -rf " + Quoted("base/chain")).c_str()), 0);
}

TEST_F(ReportTest, HelpAndVersion) {
  const Outcome help = Run("--help");
  EXPECT_EQ(help.Status, 0);
  EXPECT_NE(help.Out.find("--format"), std::string::npos);
  const Outcome version = Run("--version");
  EXPECT_EQ(version.Status, 0);
  EXPECT_EQ(version.Out.rfind("quillet-report ", 0), 0u);
  // Neither takes a value.
  for (const char* arguments : {"--help=x", "--version=",
                                "--version=1 "
                                "'@'"}) {
    const Outcome outcome = Run(Based(arguments));
    EXPECT_EQ(outcome.Status, 2) << arguments;
    EXPECT_EQ(outcome.Out, "") << arguments;
    EXPECT_EQ(outcome.Err.rfind("quillet-report: ", 0), 0u) << outcome.Err;
  }
}

// Output that cannot be written is a failure of its own, told apart from a folder that cannot be
// searched, with the system's reason; so is a pipe closed by its reader when SIGPIPE is ignored.
TEST_F(ReportTest, OutputThatCannotBeWrittenEndsWithItsOwnStatus) {
  const struct {
    Out Stdout;
    std::string Arguments;
    std::string Reason;
  } cases[] = {
      {Out::DevFull, Quoted("base"), "No space left on device"},
      {Out::DevFull, Quoted("base") + " --files --format json", "No space left on device"},
      {Out::DevFull, "--help", "No space left on device"},
      {Out::DevFull, "--version", "No space left on device"},
      {Out::ClosedPipe, Quoted("base") + " --format csv", "Broken pipe"},
  };
  for (const auto& c : cases) {
    const Outcome outcome = Run(c.Arguments, {.Stdout = c.Stdout});
    EXPECT_EQ(outcome.Status, 3) << c.Arguments;
    EXPECT_EQ(outcome.Err, "quillet-report: cannot write the output: " + c.Reason + "\n")
        << c.Arguments;
  }
}

// One walk per row (entries kept in a temporary file) prints byte for byte what the analysis
// run and the file view print, in every format, with and without --zero, whatever the tree
// holds: odd names, empty folders, a folder that cannot be searched.
TEST_F(ReportTest, OneWalkPrintsWhatTheRunAndTheFileViewPrint) {
  File("base/alpha/x,\"q\"\nz\xff", 5);
  File("base/alpha/locked/f", 1);
  Folder("base/alpha/empty");
  File("base/gamma/zero.txt", 0);
  File("base/delta/locked/g", 2);
  struct LockedFolders : FileSystemFaults {
    bool SearchFails(std::string_view folder) const override {
      return folder.ends_with("/locked/");
    }
  } faults;
  ScopedFileSystemFaults scoped(faults);
  for (const Format format : {Format::Table, Format::Csv, Format::Json}) {
    for (const bool zero : {false, true}) {
      for (const bool added : {false, true}) {
        Request request;
        if (added) {
          request.Added = {Path("base/gamma"), Path("base/alpha"), Path("base/delta/locked")};
        } else {
          request.Folder = Path("base");
        }
        request.Files = true;
        request.Zero = zero;
        request.OutputFormat = format;
        const std::string context = std::to_string(static_cast<int>(format)) +
                                    (zero ? " zero" : "") + (added ? " added" : "");
        test::TestFrontend oneFrontend, twoFrontend;
        std::ostringstream one, two;
        EXPECT_EQ(MakeReport(request, oneFrontend, one, Walks::Fewest).Status, 0) << context;
        EXPECT_EQ(MakeReport(request, twoFrontend, two, Walks::Separate).Status, 0) << context;
        EXPECT_EQ(one.str(), two.str()) << context;
        EXPECT_NE(one.str().find("zero.txt"), std::string::npos) << context;
        EXPECT_EQ(one.str().find("a.txt") != std::string::npos, !zero) << context;
        // One walk: the first row's entries come right after its update, before the next row's.
        const auto& subTexts = oneFrontend.Recorded().SubTexts;
        ASSERT_GE(subTexts.size(), 2u) << context;
        EXPECT_EQ(subTexts[1].rfind(Path("base"), 0), 0u) << context;
      }
    }
  }
}

// Stopped inside a walk (Ctrl-C acts as Cancel), the report prints the rows as far as they were
// measured and the entries of those rows only: the row it was walking shows no numbers and none of
// its entries, whether the listing waited in a file or was sorted in memory.
TEST_F(ReportTest, OneWalkStoppedPrintsTheEntriesOfTheMeasuredRowsOnly) {
  File("stop/first/kept", 1);
  File("stop/second/dropped1", 2);
  File("stop/second/dropped2", 3);
  for (const bool sorted : {false, true}) {
    Request request;
    request.Added = {Path("stop/first"), Path("stop/second")};
    request.Files = true;
    request.OutputFormat = Format::Json;
    if (sorted) request.SortColumn = 1;  // by location: the first row's entries first
    test::TestFrontend frontend;
    // Cancel processed by the second row's update: its first entry's update stops the walk.
    frontend.OnPump = [&frontend](test::TestProgress& progress, int) {
      if (frontend.Recorded().SubTexts.back().ends_with("[second]")) progress.Cancel();
    };
    std::ostringstream out;
    EXPECT_EQ(MakeReport(request, frontend, out).Status, 130) << sorted;
    const std::string& json = out.str();
    EXPECT_EQ(json.rfind("{\n  \"complete\": false,", 0), 0u) << json;
    EXPECT_NE(
        json.find(R"({"name": "first", "location": ")" + Path("stop/first") + R"(", "size": 1,)"),
        std::string::npos)
        << json;
    EXPECT_NE(json.find(R"({"name": "second", "location": ")" + Path("stop/second") +
                        R"(", "size": null)"),
              std::string::npos)
        << json;
    EXPECT_NE(json.find("{\"name\": \"kept\""), std::string::npos) << json;
    EXPECT_EQ(json.find("\"name\": \"dropped"), std::string::npos) << json;
  }
}

// Walked on many threads, every text waiting in a temporary file, the export is the one a single
// thread writes, byte for byte; stopped, it is still an export that reads.
TEST(NcduExport, ThreadsAndTemporaryFilesChangeNothingAndAStopLeavesItWellFormed) {
  testing::TempTree tree;
  for (int i = 0; i < 6; ++i) {
    const std::string top = "t" + std::to_string(i);
    tree.File(top + "/f", 10 + i);
    for (int j = 0; j < 5; ++j) {
      tree.File(top + "/d" + std::to_string(j) + "/x/y/z.txt", j);
      tree.File(top + "/d" + std::to_string(j) + "/skip.log", 1);
    }
  }
  WalkOptions options;
  options.Excludes = {"*.log"};
  const auto exported = [&](const ExportThreads& threads, int stopAfter, bool* finished) {
    std::ostringstream out;
    int asked = 0;
    NcduWriter writer(out, "test", 0);
    *finished = WriteWalkExport(
        writer, tree.Root(), options, [&] { return stopAfter < 0 || ++asked <= stopAfter; },
        threads);
    writer.Finish();
    return out.str();
  };
  bool finished = false;
  const std::string one = exported({1, std::size_t{1} << 20}, -1, &finished);
  EXPECT_TRUE(finished);
  EXPECT_NE(one.find(R"({"name":"skip.log","excluded":"pattern"})"), std::string::npos) << one;
  EXPECT_EQ(exported({8, 0}, -1, &finished), one);
  EXPECT_TRUE(finished);

  const std::string stopped = exported({8, 0}, 0, &finished);
  EXPECT_FALSE(finished);
  ImportFailure failure;
  EXPECT_NE(ImportedTree::Read(stopped, failure), nullptr) << failure.Reason << ": " << stopped;
}

TEST(JsonString, EscapesWhatJsonNeedsAndReplacesInvalidBytes) {
  struct Case {
    std::string_view Text;
    std::string_view Json;
  };
  const Case cases[] = {
      {"plain", "\"plain\""},
      {"q\"b\\", "\"q\\\"b\\\\\""},
      {"\n\x1f", "\"\\u000a\\u001f\""},
      {"写真", "\"写真\""},
      {"\xc3\x28", "\"\\ufffd(\""},                   // broken two-byte sequence
      {"\xe0\x80\xaf", "\"\\ufffd\\ufffd\\ufffd\""},  // overlong
      {"\xed\xa0\x80", "\"\\ufffd\\ufffd\\ufffd\""},  // surrogate
      {"\xf0\x9f\x98\x80", "\"\xf0\x9f\x98\x80\""},
      {"\xf4\x90\x80\x80", "\"\\ufffd\\ufffd\\ufffd\\ufffd\""},  // past U+10FFFF
      {"\xe5\x86", "\"\\ufffd\\ufffd\""},                        // cut short at the end
  };
  for (const auto& c : cases)
    EXPECT_EQ(JsonString(c.Text), c.Json) << c.Text;
}

TEST(CellText, CsvQuotesTerminalReplacesAndWideCountsTwice) {
  EXPECT_EQ(CsvField("a b"), "a b");
  EXPECT_EQ(CsvField("say \"hi\""), "\"say \"\"hi\"\"\"");
  EXPECT_EQ(CsvField("two\nlines"), "\"two\nlines\"");
  EXPECT_EQ(TerminalText("写真 a,b\\c"), "写真 a,b\\c");
  EXPECT_EQ(TerminalText("a\nb\rc\x1b\x7f\xc2\x85\xc2\xa0"), "a?b?c???\xc2\xa0");
  EXPECT_EQ(TerminalText("\xe5\x86"), "??");
  EXPECT_EQ(DisplayWidth("ファイル数"), 10u);
  EXPECT_EQ(DisplayWidth("a\xff"), 2u);
}

// Widths counted by hand from the Unicode tables: zero-width and combining characters take no
// column, wide ones two wherever they lie in the code space, and what cannot be printed is
// shown as one '?'.
TEST(CellText, EveryCharacterTakesTheColumnsATerminalGivesIt) {
  const struct {
    const char* Text;
    std::size_t Width;
    const char* Shown;
  } cases[] = {
      {"\xEF\xBB\xBF"
       "bom",
       3, nullptr},  // U+FEFF
      {"a\xE2\x80\x8B"
       "b",
       2, nullptr},  // U+200B zero-width space
      {"e\xCC\x81"
       "te",
       3, nullptr},                  // e + U+0301 combining acute
      {"\xE2\x80\x8D", 0, nullptr},  // U+200D zero-width joiner
      {"x\xE2\x80\xA8"
       "y",
       3, "x?y"},  // U+2028 line separator
      {"x\xE2\x80\xA9"
       "y",
       3, "x?y"},                        // U+2029 paragraph separator
      {"\xF0\x9F\xA7\xAA", 2, nullptr},  // U+1F9EA test tube
      {"\xF0\x9F\x9A\x80", 2, nullptr},  // U+1F680 rocket
      {"\xE2\x8C\x9A", 2, nullptr},      // U+231A watch
      {"\xF0\xA0\x80\x80", 2, nullptr},  // U+20000 CJK extension B
      {"\xC2\xA0", 1, nullptr},          // U+00A0 no-break space
  };
  for (const auto& c : cases) {
    const std::string shown = TerminalText(c.Text);
    EXPECT_EQ(shown, c.Shown != nullptr ? c.Shown : c.Text) << c.Text;
    EXPECT_EQ(DisplayWidth(shown), c.Width) << c.Text;
    EXPECT_EQ(DisplayWidth(c.Text), c.Width) << c.Text;
  }
  EXPECT_EQ(CsvField("-1"), "\"'-1\"");
  EXPECT_EQ(CsvField("=a,\"b\""), "\"'=a,\"\"b\"\"\"");
  EXPECT_EQ(CsvField("a=b"), "a=b");
}

}  // namespace
}  // namespace quillet::report
