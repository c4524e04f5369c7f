#include "lists/CommandLine.h"

#include <gtest/gtest.h>

namespace quillet {
namespace {

using namespace std::string_view_literals;

TEST(SplitCommandLine, FollowsTheWindowsRules) {
  const struct {
    std::string_view Line;
    std::vector<std::string> Arguments;
  } cases[] = {
      {"", {}},
      {"   prog   ", {"prog"}},
      {"prog D:\\A D:\\B", {"prog", "D:\\A", "D:\\B"}},
      {"prog \"C:\\My Docs\"", {"prog", "C:\\My Docs"}},
      {"prog C:\\My Docs", {"prog", "C:\\My", "Docs"}},
      {"prog a\"b c\"d", {"prog", "ab cd"}},
      {"\"C:\\Program Files\\q.exe\" x", {"C:\\Program Files\\q.exe", "x"}},
      // Every control byte separates, not only blanks and tabs.
      {"prog\t\x01x\x1fy \x20z", {"prog", "x", "y", "z"}},
      // Empty pairs at the start of an argument are skipped; they never end the list.
      {"prog \"\" x", {"prog", "x"}},
      {"prog \"\"\"\"x", {"prog", "x"}},
      {"prog \"\" \"\" y", {"prog", "y"}},
      {"prog x \"\"", {"prog", "x"}},
      // An open quote runs to the end of the line; no escape character.
      {"prog \"a b", {"prog", "a b"}},
      {"prog a\\\"b c\"", {"prog", "a\\b c"}},
      // A lone quote at the end makes an empty argument, which ends the list; so does a NUL.
      {"prog \"", {"prog"}},
      {"prog \" ", {"prog", " "}},
      {"prog a\0b"sv, {"prog", "a"}},
      // Bytes of 0x80 and above belong to arguments.
      {"prog \xe5\x86\x99\xe7\x9c\x9f \"\xe3\x83\x95 x\"",
       {"prog", "\xe5\x86\x99\xe7\x9c\x9f", "\xe3\x83\x95 x"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SplitCommandLine(c.Line), c.Arguments) << c.Line;
  }
}

TEST(FirstArgument, IsTheOneAfterTheProgram) {
  EXPECT_EQ(FirstArgument("prog D:\\A D:\\B"), "D:\\A");
  EXPECT_EQ(FirstArgument("prog"), std::nullopt);
  EXPECT_EQ(FirstArgument("prog \"\""), std::nullopt);
  EXPECT_EQ(FirstArgument(""), std::nullopt);
}

// Options come first, in their known spellings only; "--" ends them; whatever else comes first
// is the folder, one that begins with '-' too.
TEST(ParseProgramArguments, OptionsFirstThenTheFolderWhateverItsName) {
  using Args = std::vector<std::string>;
  const struct {
    Args Arguments;
    std::optional<std::string> Folder;
    std::optional<std::string> Import;
  } cases[] = {
      {{}, std::nullopt, std::nullopt},
      {{"/data"}, "/data", std::nullopt},
      {{"--import", "scan.json", "/data"}, "/data", "scan.json"},
      {{"--import=scan.json"}, std::nullopt, "scan.json"},
      {{"--", "--import"}, "--import", std::nullopt},
      {{"-x-folder", "/data"}, "-x-folder", std::nullopt},
      {{"--import"}, "--import", std::nullopt},  // no FILE: a folder of that name
      {{"--unknown", "/data"}, "--unknown", std::nullopt},
      {{"", "/data"}, std::nullopt, std::nullopt},
  };
  for (const auto& c : cases) {
    const ProgramArguments parsed = ParseProgramArguments(c.Arguments);
    EXPECT_EQ(parsed.Folder, c.Folder) << c.Arguments.size();
    EXPECT_EQ(parsed.Import, c.Import) << c.Arguments.size();
  }
}

}  // namespace
}  // namespace quillet
