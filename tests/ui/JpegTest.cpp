// The About picture's decoder, on the real picture and on damaged data.
#include <gtest/gtest.h>

#include <cstddef>
#include <span>
#include <vector>

#include "ui/Jpeg.h"

extern const unsigned char kAboutPicture[];
extern const std::size_t kAboutPictureSize;

namespace quillet {
namespace {

std::span<const std::byte> AboutBytes() {
  return std::as_bytes(std::span(kAboutPicture, kAboutPictureSize));
}

TEST(Jpeg, AboutPictureDecodesTo320By240Rgb) {
  const DecodedJpeg picture = DecodeJpeg(AboutBytes());
  ASSERT_TRUE(picture.Ok()) << picture.Error;
  EXPECT_EQ(picture.Width, 320);
  EXPECT_EQ(picture.Height, 240);
  ASSERT_EQ(picture.Rgb.size(), 320u * 240u * 3u);
  // The ground runs from blue at the top to near black at the bottom.
  const auto pixel = [&](int x, int y) { return &picture.Rgb[(y * 320u + x) * 3u]; };
  EXPECT_GT(pixel(5, 5)[2], pixel(5, 5)[0]);
  EXPECT_GT(pixel(5, 5)[2], pixel(5, 235)[2]);
}

TEST(Jpeg, DamagedDataGivesAnErrorAndNoPixels) {
  const std::span<const std::byte> whole = AboutBytes();
  const std::vector<std::byte> garbage(64, std::byte{0x5a});
  std::vector<std::byte> flipped(whole.begin(), whole.end());
  for (std::size_t i = flipped.size() / 2; i < flipped.size() / 2 + 40; ++i)
    flipped[i] = {};
  struct Case {
    const char* Name;
    std::span<const std::byte> Data;
  } cases[] = {
      {"empty", {}},
      {"not a JPEG", garbage},
      {"header only", whole.first(120)},
      {"cut in the middle", whole.first(whole.size() / 2)},
      {"zeroed scan data", flipped},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const DecodedJpeg picture = DecodeJpeg(c.Data);
    EXPECT_FALSE(picture.Ok());
    EXPECT_EQ(picture.Width, 0);
    EXPECT_TRUE(picture.Rgb.empty());
  }
}

}  // namespace
}  // namespace quillet
