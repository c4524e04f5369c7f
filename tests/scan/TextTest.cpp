#include "scan/Text.h"
#include "scan/Utf16.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "scan/Saturate.h"

#ifndef _WIN32
#include <fnmatch.h>
#endif

namespace quillet {
namespace {

constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();

TEST(TextTest, PathNamesAndTrailingSeparators) {
  using Routine = std::string (*)(std::string_view, char);
  const Routine last = ExtractLastName, with = WithTrailingSeparator,
                without = WithoutTrailingSeparator;
  struct Case {
    Routine Apply;
    const char* Path;
    char Separator;
    const char* Expected;
  };
  const std::vector<Case> cases = {{last, "C:\\Data\\Photos", '\\', "Photos"},
                                   {last, "C:\\Data\\Photos\\", '\\', "Photos"},
                                   {last, "C:\\", '\\', "C:"},
                                   {last, "C:", '\\', "C:"},
                                   {last, "\\\\server\\share", '\\', "share"},
                                   {last, "", '\\', ""},
                                   {last, "C:\\x\\\\", '\\', ""},
                                   {last, "/usr/lib/", '/', "lib"},
                                   {last, "/", '/', ""},
                                   {last, "a\\b", '/', "a\\b"},
                                   {last, "/data/写真", '/', "写真"},
                                   {with, "", '\\', "\\"},
                                   {with, "C:", '\\', "C:\\"},
                                   {with, "C:\\", '\\', "C:\\"},
                                   {with, "C:\\x\\\\", '\\', "C:\\x\\\\"},
                                   {with, "/usr", '/', "/usr/"},
                                   {with, "/", '/', "/"},
                                   {without, "C:\\", '\\', "C:"},
                                   {without, "C:", '\\', "C:"},
                                   {without, "C:\\x\\\\", '\\', "C:\\x\\"},
                                   {without, "\\", '\\', ""},
                                   {without, "", '\\', ""},
                                   {without, "/usr/", '/', "/usr"},
                                   {without, "/", '/', "/"},
                                   {without, "//", '/', "/"},
                                   {without, "C:\\", '/', "C:\\"}};
  for (const auto& c : cases)
    EXPECT_EQ(c.Apply(c.Path, c.Separator), c.Expected) << c.Path << " " << c.Separator;
}

TEST(TextTest, ReplaceAll) {
  struct Case {
    const char* Source;
    const char* Find;
    const char* Replacement;
    const char* Expected;
  };
  const std::vector<Case> cases = {{"1,234,567", ",", "", "1234567"},
                                   {"abc", "x", "y", "abc"},
                                   {"abc", "", "y", "abc"},
                                   {"", ",", "", ""},
                                   {"aaa", "aa", "X", "Xa"},
                                   {"aa", "a", "aa", "aaaa"},
                                   {"a&b&&c", "&", "&&", "a&&b&&&&c"},
                                   {",,", ",", ";", ";;"},
                                   {"xyz", "xyz", "", ""}};
  for (const auto& c : cases)
    EXPECT_EQ(ReplaceAll(c.Source, c.Find, c.Replacement), c.Expected) << c.Source;
}

TEST(TextTest, CountTextGroupsWithCommasOverTheWholeRange) {
  struct Case {
    std::int64_t Value;
    const char* Expected;
  };
  const std::vector<Case> cases = {{0, "0"},
                                   {999, "999"},
                                   {1000, "1,000"},
                                   {-5, "-5"},
                                   {-999, "-999"},
                                   {-1000, "-1,000"},
                                   {100000, "100,000"},
                                   {1234567, "1,234,567"},
                                   {5LL << 30, "5,368,709,120"},
                                   {kMax, "9,223,372,036,854,775,807"},
                                   {kMin, "-9,223,372,036,854,775,808"}};
  for (const auto& c : cases)
    EXPECT_EQ(CountText(c.Value), c.Expected) << c.Value;
}

TEST(TextTest, ParseCountReadsBackWhatCountTextWrote) {
  std::vector<std::int64_t> values = {0, 1, -1, kMax, kMin, kMax - 1, kMin + 1};
  for (std::int64_t power = 1; power <= kMax / 10; power *= 10) {
    for (std::int64_t v : {power - 1, power, power + 1}) {
      values.push_back(v);
      values.push_back(-v);
    }
  }
  std::mt19937_64 random(20240601);
  for (int i = 0; i < 2000; ++i)
    values.push_back(static_cast<std::int64_t>(random()) >> (random() % 63));
  for (std::int64_t v : values) {
    const ParsedCount parsed = ParseCount(CountText(v));
    EXPECT_FALSE(parsed.Failed) << v;
    EXPECT_EQ(parsed.Value, v);
  }
}

TEST(TextTest, ParseIntegerAndParseCount) {
  struct Case {
    const char* Text;
    std::int64_t Value;
    bool Failed;
  };
  const std::vector<Case> cases = {{"1,234", 1234, false},
                                   {"0", 0, false},
                                   {"未解析", 0, true},
                                   {"12ab", 12, true},
                                   {"", 0, true},
                                   {"   42", 42, false},
                                   {"+7", 7, false},
                                   {" -12", -12, false},
                                   {"-", 0, true},
                                   {"- 3", 0, true},
                                   {"4 ", 4, true},
                                   {"\t5", 0, true},
                                   {"$FF", 255, false},
                                   {"0x1f", 31, false},
                                   {"0X1F", 31, false},
                                   {"-$10", -16, false},
                                   {"0x", 0, true},
                                   {"$", 0, true},
                                   {"0xg", 0, true},
                                   {"007", 7, false},
                                   {"9,223,372,036,854,775,807", kMax, false},
                                   {"-9,223,372,036,854,775,808", kMin, false},
                                   {"9223372036854775808", 922337203685477580, true},
                                   {"-9223372036854775809", -922337203685477580, true},
                                   {"99999999999999999999", 999999999999999999, true},
                                   {"$7FFFFFFFFFFFFFFF", kMax, false},
                                   {"$8000000000000000", 0x800000000000000, true}};
  for (const auto& c : cases) {
    const ParsedCount parsed = ParseCount(c.Text);
    EXPECT_EQ(parsed.Value, c.Value) << c.Text;
    EXPECT_EQ(parsed.Failed, c.Failed) << c.Text;
  }
  // Only the count parse removes commas.
  EXPECT_TRUE(ParseInteger("1,234").Failed);
  EXPECT_EQ(ParseInteger("1,234").Value, 1);
}

TEST(TextTest, CompareText) {
  struct Case {
    const char* A;
    const char* B;
    int Sign;
  };
  const std::vector<Case> cases = {
      {"abc", "ABC", 0},     {"a", "ab", -1},
      {"", "", 0},           {"", "a", -1},
      {"Zeta", "alpha", 1},  {"1,000", "未解析", -1},
      {"9", "\x81\x40", -1}, {"z", "\xE3\x81\x82", -1},
      {"[", "a", 1},        // 'a' folds to 'A', which is below '['
      {"_", "b", 1},        // no folding of the other bytes
      {"\xE4", "\xC4", 1},  // non-ASCII letters are not folded
      {"10", "9", -1},
  };
  const auto sign = [](int v) { return (v > 0) - (v < 0); };
  for (const auto& c : cases) {
    EXPECT_EQ(sign(CompareText(c.A, c.B)), c.Sign) << c.A << " / " << c.B;
    EXPECT_EQ(sign(CompareText(c.B, c.A)), -c.Sign) << c.B << " / " << c.A;
  }
}

// Every sequence of UTF-16 units survives the trip through generalised UTF-8, lone surrogates in
// any position included; text shown to a person never carries one.
TEST(TextTest, Utf16RoundTripsEveryUnitSequence) {
  const std::vector<std::u16string> cases = {u"",
                                             u"plain",
                                             u"写真",
                                             u"\U0001F600",
                                             {0xD800},
                                             {0xDFFF},
                                             {u'a', 0xDC00, u'b'},
                                             {0xDBFF, 0xDBFF, 0xDFFF},
                                             {0xDC00, 0xD800},
                                             {0xD83D, 0xDE00, 0xD83D}};
  for (const std::u16string& units : cases) {
    const std::string text = ToUtf8(std::u16string_view(units));
    EXPECT_EQ(ToUtf16<char16_t>(text), units);
    for (const char byte : ToDisplayText(text))
      EXPECT_NE(static_cast<unsigned char>(byte), 0xED);
  }
  std::mt19937 random(7);
  for (int round = 0; round < 2000; ++round) {
    std::u16string units(random() % 6, u'\0');
    for (char16_t& unit : units)
      unit = static_cast<char16_t>(0xD7F0 + random() % 0x820);
    ASSERT_EQ(ToUtf16<char16_t>(ToUtf8(std::u16string_view(units))), units);
  }
  // Pairs are one code point in four bytes, never two three-byte halves.
  EXPECT_EQ(ToUtf8(std::u16string_view(u"\U0001F600")), "\xF0\x9F\x98\x80");
  EXPECT_EQ(ToUtf8(std::u16string_view(u"\xD800", 1)), "\xED\xA0\x80");
}

TEST(TextTest, BytesOfNoUtf8FormBecomeReplacementCharacters) {
  const std::string replacement = "\xEF\xBF\xBD";
  struct Case {
    std::string Text;
    std::u16string Units;
    std::string Shown;
  };
  const std::vector<Case> cases = {
      {"a\xFF"
       "b",
       u"a\uFFFDb", "a" + replacement + "b"},
      {"\xC0\xAF", u"\uFFFD\uFFFD", replacement + replacement},  // overlong "/"
      {"\xE6\x97", u"\uFFFD\uFFFD", replacement + replacement},  // cut short
      {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD",
       replacement + replacement + replacement + replacement},
      // CESU-8: a pair written as two halves is no form of ours.
      {"\xED\xA0\xBD\xED\xB8\x80",
       std::u16string(u"\uFFFD\uFFFD\uFFFD") + std::u16string(1, 0xDE00),
       replacement + replacement + replacement + replacement},
      {"\xED\xA0\x80x", std::u16string(1, 0xD800) + u"x", replacement + "x"},
      {"日本", u"日本", "日本"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ToUtf16<char16_t>(c.Text), c.Units) << c.Text;
    EXPECT_EQ(ToDisplayText(c.Text), c.Shown) << c.Text;
  }
}

TEST(TextTest, SaturatingAddStopsAtTheEndsOfTheRange) {
  struct Case {
    std::int64_t A, B, Sum;
  };
  const std::vector<Case> cases = {
      {0, 0, 0},
      {kMax - 1, 1, kMax},
      {kMax, 1, kMax},
      {kMax, kMax, kMax},
      {kMax, 1LL << 62, kMax},
      {1LL << 62, 1LL << 62, kMax},
      {kMax, -1, kMax - 1},
      {kMin + 1, -1, kMin},
      {kMin, kMin, kMin},
      {kMin, kMax, -1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SaturatingAdd(c.A, c.B), c.Sum) << c.A << " + " << c.B;
    EXPECT_EQ(SaturatingAdd(c.B, c.A), c.Sum) << c.B << " + " << c.A;
  }
}

// The excludes' glob agrees with the C library's fnmatch (flags 0) on hand-picked patterns, and
// on random patterns and names over a small alphabet where the corner cases meet often.
TEST(GlobMatchTest, AgreesWithFnmatch) {
  struct Case {
    const char* Pattern;
    const char* Name;
    bool Matches;
  };
  const Case cases[] = {
      {"*.log", "a.log", true}, {"*.log", "a.log.1", false},
      {"cache", "cache", true}, {"cache", "Cache", false},
      {"?", "", false},         {"*", "", true},
      {"a*b*c", "aXbYc", true}, {"a*b*c", "aXbY", false},
      {"[a-c]x", "bx", true},   {"[!a-c]x", "bx", false},
      {"[^a-c]x", "dx", true},  {"[]]", "]", true},
      {"[", "[", true},         {"[a", "[a", true},
      {"\\*", "*", true},       {"\\*", "a", false},
      {".*", ".hidden", true},  {"*", ".hidden", true},
      {"[a\\]]", "]", true},    {"**x", "ax", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(GlobMatch(c.Pattern, c.Name), c.Matches) << c.Pattern << " " << c.Name;
#ifndef _WIN32
    EXPECT_EQ(::fnmatch(c.Pattern, c.Name, 0) == 0, c.Matches) << c.Pattern << " " << c.Name;
#endif
  }
#ifndef _WIN32
  std::mt19937 random(25);
  const std::string patternBytes = "ab*?[]!-^\\";
  const std::string nameBytes = "ab-]![";
  const auto draw = [&](const std::string& from, std::size_t most) {
    std::string text(std::uniform_int_distribution<std::size_t>(0, most)(random), ' ');
    for (char& c : text)
      c = from[std::uniform_int_distribution<std::size_t>(0, from.size() - 1)(random)];
    return text;
  };
  for (int i = 0; i < 200000; ++i) {
    std::string pattern = draw(patternBytes, 6);
    // A lone backslash at the end is an error to fnmatch, not a pattern; so is, to glibc, a '['
    // without its ']' that holds a range ("[*-" matches nothing there, "[*" its bytes).
    if (!pattern.empty() && pattern.back() == '\\') continue;
    if (pattern.find('[') != std::string::npos &&
        pattern.find(']', pattern.rfind('[')) == std::string::npos)
      continue;
    const std::string name = draw(nameBytes, 5);
    ASSERT_EQ(GlobMatch(pattern, name), ::fnmatch(pattern.c_str(), name.c_str(), 0) == 0)
        << "pattern " << pattern << " name " << name;
  }
#endif
}

}  // namespace
}  // namespace quillet
