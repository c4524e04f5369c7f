// The layout tables: every item has a handler, every button its item, every picture a file.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "ui/Layouts.h"

namespace quillet::layout {
namespace {

TEST(Layouts, MenuItemsAreUniqueAndEachHasAHandler) {
  std::set<std::string_view> names;
  for (const Menu& menu : kMainMenu) {
    EXPECT_TRUE(names.insert(menu.Name).second) << menu.Name;
    for (const MenuItem& item : menu.Items) {
      EXPECT_TRUE(names.insert(item.Name).second) << item.Name;
      EXPECT_TRUE(item.Image == kNoImage || (item.Image >= 0 && item.Image < kImageCount));
      EXPECT_EQ(item.IsSeparator(), item.Action == Command::None) << item.Name;
    }
  }
}

TEST(Layouts, ToolButtonsTakeTheirItemsCaptionImageAndAction) {
  int free = 0;
  for (const ToolButton& button : kMainToolBar) {
    if (button.IsSeparator()) continue;
    const ResolvedButton resolved = Resolve(button);
    EXPECT_NE(resolved.Action, Command::None) << button.Name;
    EXPECT_EQ(resolved.Image, button.Image) << button.Name;
    if (const MenuItem* item = FindMenuItem(button.BoundItem)) {
      EXPECT_EQ(resolved.Caption, item->Caption);
      EXPECT_TRUE(button.Caption.empty()) << button.Name;  // no caption written twice
      EXPECT_TRUE(resolved.ActsOnPress) << button.Name;
    } else {
      // Only tbnMain08 has no item: it shows the file-view command and runs on release.
      ++free;
      EXPECT_EQ(button.Name, "tbnMain08");
      EXPECT_FALSE(resolved.ActsOnPress);
      EXPECT_EQ(resolved.Caption, FindMenuItem("tmiViewFileViewFlag")->Caption);
      EXPECT_EQ(resolved.Action, FindMenuItem("tmiViewFileViewFlag")->Action);
    }
  }
  EXPECT_EQ(free, 1);
}

TEST(Layouts, EachListHasOneColumnTakingTheRest) {
  for (const auto columns : {kResultColumns, kFileColumns}) {
    int remaining = 0;
    for (const Column& column : columns) {
      if (column.Width == kRemainingWidth) ++remaining;
      EXPECT_FALSE(column.Caption.empty());
    }
    EXPECT_EQ(remaining, 1);
  }
}

TEST(Layouts, EveryPictureIsAResource) {
  ASSERT_EQ(kImageFiles.size(), static_cast<std::size_t>(kImageCount));
  const std::filesystem::path resources(QUILLET_RESOURCE_DIR);
  for (std::string_view file : kImageFiles)
    EXPECT_TRUE(std::filesystem::is_regular_file(resources / "images" / file)) << file;
  const Control* picture = FindControl(kAboutBox, "Image1");
  ASSERT_NE(picture, nullptr);
  EXPECT_TRUE(std::filesystem::is_regular_file(resources / picture->Caption));
}

}  // namespace
}  // namespace quillet::layout
