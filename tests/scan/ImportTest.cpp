#include "scan/Import.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "TempTree.h"
#include "scan/Text.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace quillet {
namespace {

constexpr std::string_view kHead = R"([1,2,{"progname":"test","progver":"1","timestamp":1},)";

std::unique_ptr<ImportedTree> Read(std::string_view text, ImportFailure& failure) {
  return ImportedTree::Read(text, failure);
}

// Each hostile or broken export is refused with its own reason and the offset where reading
// stopped, and nothing of it is kept.
TEST(ImportTest, BrokenAndHostileExportsAreRefusedWithTheirReasonAndOffset) {
  const std::string deep = std::string(kHead) + [] {
    std::string text;
    for (int i = 0; i < 100000; ++i)
      text += R"([{"name":"d"},)";
    return text;
  }();
  const std::string longName = std::string(kHead) + R"([{"name":")" +
                               std::string(ImportedTree::kLongestValue + 10, 'x') + R"("}]])";
  const std::size_t head = kHead.size();
  // Offsets: a value that is refused, where its parse ended; a value that cannot begin where it
  // stands, where it begins.
  const struct {
    std::string Text;
    std::string Reason;  // the start of the reason
    std::uint64_t Offset;
  } cases[] = {
      {"", "the export ends before its tree does", 0},
      {std::string(kHead) + R"([{"name":"/r"},{"name":"a","asize":1})", "the export ends before",
       head + 37},
      {R"([2,0,{},[{"name":"/r"}]])", "not an ncdu export of major version 1", 1},
      {R"({"name":"/r"})", "not an ncdu export: it does not begin with an array", 0},
      {deep, "folders nested deeper than 32768 levels", head + 32768 * 14},
      {std::string(kHead) + R"([{"name":"/r"},{"name":"a","asize":18446744073709551616}]])",
       "the field asize is too large for 64 bits", head + 35},
      {std::string(kHead) + R"([{"name":"/r"},{"name":"a","asize":9223372036854775808}]])",
       "the field asize is too large for 64 bits", head + 35},
      {std::string(kHead) + R"([{"name":"/r"},{"name":"a","dsize":-1}]])",
       "the field dsize is not a size in bytes", head + 35},
      {std::string(kHead) + R"([{"name":"/r"},{"name":"a\u0000b"}]])", "a name with a NUL byte",
       head + 33},
      {std::string(kHead) + R"([{"name":"/r"},{"name":".."}]])", "a name that is not one name",
       head + 27},
      {std::string(kHead) + R"([{"name":"/r"},{"name":"a/b"}]])", "a name that is not one name",
       head + 28},
      {std::string(kHead) + R"([{"name":"/r"},{"asize":1}]])", "an entry without a name",
       head + 25},
      {longName, "a value longer than 1 MiB", head + 9 + ImportedTree::kLongestValue},
      {std::string(kHead) + R"([{"name":"/r"}]] [])", "something follows the tree", head + 17},
      {std::string(kHead) + R"([{"name":"/r"}],[{"name":"/s"}]])",
       "not an ncdu export: more than one tree", head + 16},
      {std::string(kHead) + R"({"name":"/r"}])", "not an ncdu export: the root is not a folder",
       head},
      {std::string(kHead) + R"([{"name":"/r"},{"name":"a" "asize":1}]])", "not JSON: ", head + 27},
  };
  for (const auto& c : cases) {
    ImportFailure failure;
    EXPECT_EQ(Read(c.Text, failure), nullptr) << c.Reason;
    EXPECT_EQ(failure.Reason.rfind(c.Reason, 0), 0u) << failure.Reason;
    EXPECT_EQ(failure.Offset, c.Offset) << c.Reason;
  }
}

// Names keep their bytes, whatever they are; escapes give their UTF-8; fields the reader does
// not use are passed over whole, nested values included.
TEST(ImportTest, NamesKeepTheirBytesAndUnknownFieldsArePassedOver) {
  const std::string text = std::string(kHead) +
                           "[{\"name\":\"/r\",\"extra\":{\"a\":[1,{\"b\":[]}]}},"
                           "{\"name\":\"\xff\xfe raw\",\"asize\":5},"
                           "{\"name\":\"\\u5199\\u771f \\\"q\\\"\",\"asize\":7,\"mode\":33188}]]";
  ImportFailure failure;
  const auto tree = Read(text, failure);
  ASSERT_NE(tree, nullptr) << failure.Reason << " at " << failure.Offset;
  ASSERT_EQ(tree->Size(), 3u);
  EXPECT_EQ(tree->At(1).Name, "\xff\xfe raw");
  EXPECT_EQ(tree->At(2).Name, "写真 \"q\"");
  EXPECT_EQ(tree->PathOf(2, '/'), "/r/写真 \"q\"");
  EXPECT_EQ(tree->Find("/r/\xff\xfe raw", '/'), 1u);
  EXPECT_EQ(tree->Statistics(0).TotalSize, 12);
}

// Sizes past 32 bits come back whole, a name or a flag given twice is the last one (the names
// after it unshifted), and each entry's folder is found from the tree.
TEST(ImportTest, LargeSizesAndARepeatedNameComeBackAsWritten) {
  const std::string text = std::string(kHead) +
                           "[{\"name\":\"/r\"},"
                           "[{\"name\":\"a\",\"name\":\"sub\"},"
                           "{\"name\":\"big\",\"asize\":4294967296,\"dsize\":9223372036854775807},"
                           "{\"name\":\"edge\",\"asize\":4294967295,\"dsize\":4294967296}],"
                           "{\"name\":\"small\",\"asize\":3,\"dsize\":4096}]]";
  ImportFailure failure;
  const auto tree = Read(text, failure);
  ASSERT_NE(tree, nullptr) << failure.Reason << " at " << failure.Offset;
  ASSERT_EQ(tree->Size(), 5u);
  EXPECT_EQ(tree->At(1).Name, "sub");
  EXPECT_EQ(tree->PathOf(2, '/'), "/r/sub/big");
  EXPECT_EQ(tree->At(4).Name, "small");
  EXPECT_EQ(tree->At(2).Size, std::int64_t{1} << 32);
  EXPECT_EQ(tree->At(2).Disk, INT64_MAX);
  EXPECT_EQ(tree->At(3).Size, 4294967295);
  EXPECT_EQ(tree->At(3).Disk, std::int64_t{1} << 32);
  EXPECT_EQ(tree->At(4).Size, 3);
  EXPECT_EQ(tree->Statistics(0).TotalSize, (std::int64_t{1} << 32) + 4294967295 + 3);
  // Of a field given twice, the last one counts.
  const auto twice =
      Read(std::string(kHead) +
               "[{\"name\":\"/r\",\"read_error\":true,\"read_error\":false},"
               "{\"name\":\"m\",\"excluded\":\"pattern\",\"excluded\":\"otherfs\"}]]",
           failure);
  ASSERT_NE(twice, nullptr) << failure.Reason;
  EXPECT_FALSE(twice->At(0).ReadError);
  EXPECT_EQ(twice->At(1).Excluded, Exclusion::OtherFileSystem);
  // An entry costs 16 bytes and its name (a folder 12 more), less than the file list: 100,000 with
  // names of 12 bytes stay within 32 bytes each.
  std::string many = std::string(kHead) + "[{\"name\":\"/r\"}";
  for (int i = 0; i < 100000; ++i)
    many += ",{\"name\":\"name-" + std::to_string(1000000 + i) +
            "\",\"asize\":" + std::to_string(i) + "}";
  many += "]]";
  const auto wide = Read(many, failure);
  ASSERT_NE(wide, nullptr) << failure.Reason;
  EXPECT_LT(wide->MemoryBytes(), 32u * wide->Size());
  EXPECT_EQ((std::vector{tree->ParentOf(0), tree->ParentOf(1), tree->ParentOf(2), tree->ParentOf(3),
                         tree->ParentOf(4)}),
            (std::vector<ImportedTree::Index>{ImportedTree::kNone, 0, 1, 1, 0}));
}

// A chain deeper than any path the system takes in one piece reads, lists and finds to its end.
TEST(ImportTest, AChainOf2100FoldersIsReadAndListed) {
  std::string text = std::string(kHead) + R"([{"name":"/"})";
  for (int i = 0; i < 2100; ++i)
    text += R"(,[{"name":"d"})";
  text += R"(,{"name":"leaf","asize":3})";
  text += std::string(2101, ']') + "]";
  ImportFailure failure;
  const auto tree = Read(text, failure);
  ASSERT_NE(tree, nullptr) << failure.Reason << " at " << failure.Offset;
  EXPECT_EQ(tree->TopFolders(), std::vector<ImportedTree::Index>{1});
  const FolderStatistics statistics = tree->Statistics(1);
  EXPECT_EQ(statistics.FolderCount, 2099);
  EXPECT_EQ(statistics.FileCount, 1);
  std::string last;
  std::size_t count = 0;
  EXPECT_TRUE(tree->List(0, '/', [&](const TreeEntry& entry) {
    last = std::string(entry.Path);
    ++count;
    return true;
  }));
  EXPECT_EQ(count, 2101u);
  std::string expected = "";
  for (int i = 0; i < 2100; ++i)
    expected += "/d";
  expected += "/leaf";
  EXPECT_EQ(last, expected);
  EXPECT_EQ(tree->Find(expected, '/'), 2101u);
  EXPECT_EQ(tree->PathOf(2101, '/'), expected);
}

// The bytes arriving a few at a time, cut anywhere (inside names, numbers and escapes, and
// around the longest value allowed), the export reads as it does whole, and is refused at the
// same byte for the same reason.
TEST(ImportTest, AnExportReadInPiecesOfAnySizeReadsAsAWhole) {
  // The longest name allowed: the bytes from the end of its key to its closing quote.
  const std::string name(ImportedTree::kLongestValue - 2, 'n');
  const std::string good =
      std::string(kHead) +
      "[{\"name\":\"/r\",\"asize\":4096},{\"name\":\"a\\u00e9\\\"b\",\"asize\":"
      "123456789,\"dsize\":8192},\n[{\"name\":\"" +
      name + "\"},{\"name\":\"x\",\"mode\":[1,{\"k\":2}],\"asize\":7}]]]";
  const std::string tooLong = std::string(kHead) + "[{\"name\":\"" + name + "x\"}]]";
  const std::string cutShort = good.substr(0, good.size() - 20);
  // Told from a whole number too large by its text, which the cuts must not lose.
  const std::string fraction =
      std::string(kHead) +
      "[{\"name\":\"/r\"},{\"name\":\"a\",\"asize\": 20000000000000000000.5}]]";
  for (const std::string* text : {&good, &tooLong, &cutShort, &fraction}) {
    ImportFailure whole;
    const auto expected = ImportedTree::Read(*text, whole);
    ASSERT_EQ(expected != nullptr, text == &good) << whole.Reason;
    if (text == &fraction) {
      EXPECT_EQ(whole.Reason, "the field asize is not a size in bytes");
    }
    std::size_t at = 0;
    int turn = 0;
    const ExportSource pieces = [&](char* buffer, std::size_t size) -> std::optional<std::size_t> {
      const std::size_t count = std::min({size, text->size() - at, std::size_t(1 + turn++ % 7)});
      std::memcpy(buffer, text->data() + at, count);
      at += count;
      return count;
    };
    ImportFailure failure;
    const auto tree = ImportedTree::Read(pieces, failure);
    ASSERT_EQ(tree == nullptr, expected == nullptr) << failure.Reason;
    if (!tree) {
      EXPECT_EQ(failure.Reason, whole.Reason);
      EXPECT_EQ(failure.Offset, whole.Offset);
      continue;
    }
    ASSERT_EQ(tree->Size(), 4u);
    for (ImportedTree::Index node = 0; node < tree->Size(); ++node) {
      EXPECT_EQ(tree->At(node).Name, expected->At(node).Name);
      EXPECT_EQ(tree->At(node).Size, expected->At(node).Size);
      EXPECT_EQ(tree->End(node), expected->End(node));
    }
    EXPECT_EQ(tree->At(1).Name, "a\u00e9\"b");
    EXPECT_EQ(tree->At(1).Disk, 8192);
    EXPECT_EQ(tree->At(3).Size, 7);
  }
}

#ifndef _WIN32

// Runs command and gives what it printed; empty when it failed.
std::string Output(const std::string& command) {
  std::string out;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return out;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
    out.append(buffer, n);
  return ::pclose(pipe) == 0 ? out : std::string();
}

// The exports of ncdu and gdu, read back, give every top folder the numbers our own walk gives
// it, and the allocated bytes du gives it (a file with several links once).
TEST(ImportTest, ExportsOfNcduAndGduGiveTheNumbersOfOurWalkAndDu) {
  testing::TempTree tree;
  tree.File("top/a/one.bin", 1000);
  tree.File("top/a/deep/two.bin", 234);
  tree.Folder("top/b/empty");
  tree.File("top/c/three", 5);
  tree.File("top/loose-file", 9);
  ASSERT_EQ(::link(tree.Path("top/a/one.bin").c_str(), tree.Path("top/a/deep/linked").c_str()), 0);
  ASSERT_EQ(::symlink("../b", tree.Path("top/c/link").c_str()), 0);
  ASSERT_EQ(::mkfifo(tree.Path("top/c/fifo").c_str(), 0600), 0);
  {
    FILE* sparse = std::fopen(tree.Path("top/c/sparse").c_str(), "w");
    ASSERT_NE(sparse, nullptr);
    std::fseek(sparse, 1 << 20, SEEK_SET);
    std::fputc('x', sparse);
    std::fclose(sparse);
  }
  const std::string top = tree.Path("top");
  for (const std::string& command :
       {"ncdu -0 -o - '" + top + "'", "gdu -n -o - '" + top + "' 2>/dev/null"}) {
    const std::string exported = Output(command);
    ASSERT_FALSE(exported.empty()) << command;
    ImportFailure failure;
    const auto imported = ImportedTree::Read(exported, failure);
    ASSERT_NE(imported, nullptr) << command << ": " << failure.Reason << " at " << failure.Offset;
    const std::vector<ImportedTree::Index> folders = imported->TopFolders();
    ASSERT_EQ(folders.size(), 3u) << command;
    for (const ImportedTree::Index folder : folders) {
      const std::string path = imported->PathOf(folder, '/');
      const FolderStatistics walked = MeasureFolder(path);
      const FolderStatistics read = imported->Statistics(folder);
      EXPECT_EQ(read.TotalSize, walked.TotalSize) << command << " " << path;
      EXPECT_EQ(read.FileCount, walked.FileCount) << command << " " << path;
      EXPECT_EQ(read.FolderCount, walked.FolderCount) << command << " " << path;
      EXPECT_EQ(read.UnreadableFolders, walked.UnreadableFolders) << command << " " << path;
      if (command.starts_with("ncdu")) {
        // gdu leaves a folder's own blocks out of its export.
        const std::string du = Output("du -s -B1 '" + path + "'");
        EXPECT_EQ(imported->DiskSize(folder), std::stoll(du)) << path;
      }
    }
  }
}

#endif

}  // namespace
}  // namespace quillet
