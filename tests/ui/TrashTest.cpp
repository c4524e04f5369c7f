#include "ui/shell/Trash.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <sys/mount.h>
#include <sys/stat.h>

#include "../scan/ScopedTmpfs.h"
#include "../scan/TempTree.h"
#include "Environment.h"

namespace quillet::shell {
namespace {

namespace fs = std::filesystem;

mode_t ModeOf(const fs::path& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

std::string FileText(const fs::path& path) {
  std::ifstream in(path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
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

// An item reached through a link into another file system goes to the trash at that file
// system's top folder, recorded relative to it, as if its real path had been given; the folder
// the link names gets no trash of its own.
TEST(TrashTest, AnItemBehindALinkGoesToTheTrashOfItsRealFileSystem) {
  testing::TempTree tree;
  ScopedEnvironment home("HOME", tree.Folder("home").c_str());
  ScopedEnvironment dataHome("XDG_DATA_HOME", nullptr);
  const std::string disk = tree.Folder("disk");
  testing::ScopedTmpfs mount(disk);
  if (!mount.Mounted()) GTEST_SKIP() << "cannot mount here";
  ASSERT_TRUE(fs::create_directories(disk + "/photos/2024"));
  fs::create_directory_symlink(disk + "/photos", tree.Path("link"));

  const std::string uid = std::to_string(::getuid());
  const TrashOutcome outcome = MoveToTrash(tree.Path("link/2024"));
  ASSERT_TRUE(outcome.Trashed) << outcome.Error;
  const std::string trash = fs::canonical(disk).string() + "/.Trash-" + uid;
  EXPECT_EQ(outcome.TrashedAs, trash + "/files/2024");
  EXPECT_TRUE(fs::is_directory(trash + "/files/2024"));
  EXPECT_NE(FileText(trash + "/info/2024.trashinfo").find("\nPath=photos/2024\n"),
            std::string::npos)
      << FileText(trash + "/info/2024.trashinfo");
  EXPECT_FALSE(fs::exists(disk + "/photos/.Trash-" + uid));
}

// The home trash may be a link to a folder elsewhere (only a top folder's shared .Trash must
// not be one): the item goes where the link leads.
TEST(TrashTest, AHomeTrashThatIsALinkIsUsed) {
  testing::TempTree tree;
  const std::string home = tree.Folder("home");
  ScopedEnvironment homeVariable("HOME", home.c_str());
  ScopedEnvironment dataHome("XDG_DATA_HOME", nullptr);
  // Item and store on one file system of their own, so that nothing of this test can reach the
  // trash of the file system the temporary folder lies on.
  const std::string disk = tree.Folder("disk");
  testing::ScopedTmpfs mount(disk);
  if (!mount.Mounted()) GTEST_SKIP() << "cannot mount here";
  ASSERT_TRUE(fs::create_directories(disk + "/store/Trash"));
  ASSERT_TRUE(fs::create_directories(home + "/.local/share"));
  fs::create_directory_symlink(disk + "/store/Trash", home + "/.local/share/Trash");
  ASSERT_TRUE(fs::create_directory(disk + "/item"));

  const TrashOutcome outcome = MoveToTrash(disk + "/item");
  ASSERT_TRUE(outcome.Trashed) << outcome.Error;
  EXPECT_TRUE(fs::is_directory(disk + "/store/Trash/files/item"));
  EXPECT_NE(FileText(disk + "/store/Trash/info/item.trashinfo")
                .find("\nPath=" + fs::canonical(disk).string() + "/item\n"),
            std::string::npos);
  EXPECT_FALSE(fs::exists(disk + "/.Trash-" + std::to_string(::getuid())));
}

// A mount point is the top folder of its own file system: no trash can take it, it stays, and
// no trash folder is made anywhere on the way to that answer.
TEST(TrashTest, AMountPointStaysAndNoTrashIsMadeForIt) {
  testing::TempTree tree;
  ScopedEnvironment home("HOME", tree.Folder("home").c_str());
  ScopedEnvironment dataHome("XDG_DATA_HOME", nullptr);
  const std::string outer = tree.Folder("outer");
  testing::ScopedTmpfs outerMount(outer);
  if (!outerMount.Mounted()) GTEST_SKIP() << "cannot mount here";
  ASSERT_TRUE(fs::create_directory(outer + "/inner"));
  testing::ScopedTmpfs innerMount(outer + "/inner");
  ASSERT_TRUE(innerMount.Mounted());

  const TrashOutcome outcome = MoveToTrash(outer + "/inner");
  EXPECT_FALSE(outcome.Trashed);
  EXPECT_FALSE(outcome.Error.empty());
  EXPECT_TRUE(fs::is_directory(outer + "/inner"));
  EXPECT_FALSE(fs::exists(outer + "/.Trash-" + std::to_string(::getuid())));
  EXPECT_FALSE(fs::exists(outer + "/inner/.Trash-" + std::to_string(::getuid())));
}

}  // namespace
}  // namespace quillet::shell
