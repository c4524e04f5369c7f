#include "ui/shell/Trash.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include <sys/mount.h>
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

// On a file system that has no trash and cannot be given one, the item stays where it is; the
// reason does not name it again, since the refusal's line names it already.
TEST(TrashTest, AnItemWhereNoTrashCanBeMadeStaysAndItsReasonDoesNotRepeatIt) {
  testing::TempTree tree;
  ScopedEnvironment home("HOME", tree.Folder("home").c_str());
  ScopedEnvironment dataHome("XDG_DATA_HOME", nullptr);
  const std::string at = tree.Folder("mounted");
  if (::mount("tmpfs", at.c_str(), "tmpfs", 0, nullptr) != 0) GTEST_SKIP() << "cannot mount here";
  struct Unmount {
    std::string At;
    ~Unmount() { ::umount2(At.c_str(), MNT_DETACH); }
  } unmount{at};
  const std::string item = at + "/item";
  ASSERT_TRUE(fs::create_directory(item));
  ASSERT_EQ(::mount(nullptr, at.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);
  const TrashOutcome outcome = MoveToTrash(item);
  EXPECT_FALSE(outcome.Trashed);
  EXPECT_TRUE(fs::is_directory(item));
  EXPECT_FALSE(outcome.Error.empty());
  EXPECT_EQ(outcome.Error.find(item), std::string::npos) << outcome.Error;
}

}  // namespace
}  // namespace quillet::shell
