#include "ui/shell/Trash.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include <sys/stat.h>

#include "../scan/TempTree.h"
#include "Environment.h"

namespace quillet::shell {
namespace {

namespace fs = std::filesystem;

mode_t ModeOf(const fs::path& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

// A fresh home has no ~/.local/share: the home trash is made with its parents, private to the
// user, whether it is named by XDG_DATA_HOME or found under HOME.
TEST(TrashTest, AFreshHomeGetsItsTrashWithTheFoldersAboveIt) {
  testing::TempTree tree;
  const std::string home = tree.Folder("home");
  const struct {
    const char* DataHome;
    std::string Trash;
  } cases[] = {
      {nullptr, home + "/.local/share/Trash"},
      {"relative/is/ignored", home + "/.local/share/Trash"},
  };
  ScopedEnvironment homeVariable("HOME", home.c_str());
  int round = 0;
  for (const auto& c : cases) {
    ScopedEnvironment dataHome("XDG_DATA_HOME", c.DataHome);
    const std::string item = tree.Folder("item" + std::to_string(++round));
    const TrashOutcome outcome = MoveToTrash(item);
    ASSERT_TRUE(outcome.Trashed) << outcome.Error;
    EXPECT_EQ(outcome.TrashedAs, c.Trash + "/files/item" + std::to_string(round));
    EXPECT_FALSE(fs::exists(item));
    EXPECT_TRUE(fs::is_regular_file(c.Trash + "/info/item" + std::to_string(round) + ".trashinfo"));
  }
  EXPECT_EQ(ModeOf(home + "/.local"), 0700u);
  EXPECT_EQ(ModeOf(home + "/.local/share/Trash/files"), 0700u);

  const std::string dataHome = tree.Path("fresh/data");
  ScopedEnvironment named("XDG_DATA_HOME", dataHome.c_str());
  const TrashOutcome outcome = MoveToTrash(tree.File("file.txt", 3));
  ASSERT_TRUE(outcome.Trashed) << outcome.Error;
  EXPECT_EQ(outcome.TrashedAs, dataHome + "/Trash/files/file.txt");
}

}  // namespace
}  // namespace quillet::shell
