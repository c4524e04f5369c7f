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

// Options before FOLDER in their known spellings; anything else, and what follows "--", is FOLDER.
TEST(ProgramArguments, OptionsComeBeforeTheFolderAndDoubleDashEndsThem) {
  struct Case {
    std::vector<std::string> Arguments;
    bool OneFileSystem;
    std::vector<std::string> Excludes;
    std::optional<std::string> Folder;
  };
  const Case cases[] = {
      {{}, false, {}, std::nullopt},
      {{"/home/a"}, false, {}, "/home/a"},
      {{"-x", "/home/a", "--exclude", "b"}, true, {}, "/home/a"},
      {{"--one-file-system", "--exclude", "*.o", "--exclude=.git", "/src"},
       true,
       {"*.o", ".git"},
       "/src"},
      {{"-xv"}, false, {}, "-xv"},
      {{"-folder"}, false, {}, "-folder"},
      {{"--", "-x"}, false, {}, "-x"},
      {{"-x", "--"}, true, {}, std::nullopt},
      {{"--exclude"}, false, {}, "--exclude"},
      {{"--exclude=", "D:\\A"}, false, {""}, "D:\\A"},
      {{"--Exclude", "x"}, false, {}, "--Exclude"},
  };
  for (const Case& c : cases) {
    const ProgramArguments parsed = ParseProgramArguments(c.Arguments);
    EXPECT_EQ(parsed.Walk.OneFileSystem, c.OneFileSystem) << ::testing::PrintToString(c.Arguments);
    EXPECT_EQ(parsed.Walk.Excludes, c.Excludes) << ::testing::PrintToString(c.Arguments);
    EXPECT_EQ(parsed.Folder, c.Folder) << ::testing::PrintToString(c.Arguments);
  }
}

TEST(FirstArgument, IsTheOneAfterTheProgram) {
  EXPECT_EQ(FirstArgument("prog D:\\A D:\\B"), "D:\\A");
  EXPECT_EQ(FirstArgument("prog"), std::nullopt);
  EXPECT_EQ(FirstArgument("prog \"\""), std::nullopt);
  EXPECT_EQ(FirstArgument(""), std::nullopt);
}

// What a second instance is given before its folder reads back as the options, and keeps a
// folder that looks like an option a folder.
TEST(OptionArguments, ReadBackAsTheOptionsAndTheFolder) {
  const struct {
    WalkOptions Options;
    std::string Folder;
  } cases[] = {{{}, "/data"}, {{}, "-x"}, {{true, {"a b", "--", ""}}, "--exclude"}};
  for (const auto& c : cases) {
    std::vector<std::string> arguments = OptionArguments(c.Options, c.Folder);
    arguments.push_back(c.Folder);
    const ProgramArguments parsed = ParseProgramArguments(arguments);
    EXPECT_EQ(parsed.Folder, c.Folder);
    EXPECT_EQ(parsed.Walk.OneFileSystem, c.Options.OneFileSystem) << c.Folder;
    EXPECT_EQ(parsed.Walk.Excludes, c.Options.Excludes) << c.Folder;
  }
  EXPECT_EQ(OptionArguments({}, "/data"), std::vector<std::string>{});
}

// --import takes the next argument among the other options; without one it is the folder.
TEST(ParseProgramArguments, ImportTakesItsFileAmongTheOptions) {
  using Args = std::vector<std::string>;
  const struct {
    Args Arguments;
    std::optional<std::string> Folder;
    std::optional<std::string> Import;
  } cases[] = {
      {{"--import", "scan.json", "/data"}, "/data", "scan.json"},
      {{"-x", "--import=scan.json", "--exclude", "*.o"}, std::nullopt, "scan.json"},
      {{"--", "--import", "scan.json"}, "--import", std::nullopt},
      {{"--import"}, "--import", std::nullopt},  // no FILE: a folder of that name
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
