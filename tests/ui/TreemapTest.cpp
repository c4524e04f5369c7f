// The treemap without a toolkit: the layout against hand-computed rectangles and per-pixel
// coverage, the types' colours, the shaded picture and pointing.
#include "ui/Treemap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

namespace quillet::treemap {
namespace {

constexpr std::uint64_t k2To62 = std::uint64_t{1} << 62;
constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();

struct Tree {
  std::vector<Entry> Entries;
  // Folders are given a size the layout must ignore.
  int Folder(int parent) { return Add({12345, parent, 0, true}); }
  int File(int parent, std::uint64_t size, std::uint16_t type = 1) {
    return Add({size, parent, type, false});
  }
  int Add(Entry entry) {
    Entries.push_back(entry);
    return static_cast<int>(Entries.size()) - 1;
  }
};

// The paper's example (areas 6, 6, 4, 3, 2, 2, 1) in one folder, in a pane of 600 × 400; each
// file a type of its own, none numbered as its entry.
Tree PapersExample() {
  Tree tree;
  const int folder = tree.Folder(-1);
  for (const std::uint64_t size : {6, 6, 4, 3, 2, 2, 1})
    tree.File(folder, size, static_cast<std::uint16_t>(40 - tree.Entries.size()));
  return tree;
}
// Its rectangles by hand: the row (6, 6) as a column, (4, 3) along the top of the rest, then
// (2), (2) and (1) as columns.
const std::vector<Rect> kPapersRects = {
    {0, 0, 300, 200},     {0, 200, 300, 200},   {300, 0, 171, 233}, {471, 0, 129, 233},
    {300, 233, 120, 167}, {420, 233, 120, 167}, {540, 233, 60, 167}};

// A tree like a home folder: folders of a few to many entries, sizes spread over many powers of
// two, some empty files and empty folders.
void Grow(Tree& tree, int parent, int depth, std::mt19937_64& random) {
  const int count = std::uniform_int_distribution<int>(0, depth == 0 ? 40 : 12)(random);
  for (int i = 0; i < count; ++i) {
    if (depth < 4 && random() % 4 == 0) {
      Grow(tree, tree.Folder(parent), depth + 1, random);
    } else {
      const std::uint64_t size = random() % 10 == 0 ? 0 : (random() % 1000) << (random() % 30);
      tree.File(parent, size, static_cast<std::uint16_t>(random() % 20));
    }
  }
}
Tree RandomTree(unsigned seed) {
  std::mt19937_64 random(seed);
  Tree tree;
  for (int top = 0; top < 3; ++top)
    Grow(tree, tree.Folder(-1), 0, random);
  return tree;
}

// Every size the oracle's way: each file's size added to each folder above it.
std::vector<long double> Sizes(const Tree& tree) {
  std::vector<long double> sizes(tree.Entries.size(), 0);
  for (std::size_t i = 0; i < tree.Entries.size(); ++i) {
    if (tree.Entries[i].Folder) continue;
    for (std::int64_t at = static_cast<std::int64_t>(i); at >= 0; at = tree.Entries[at].Parent)
      sizes[at] += tree.Entries[i].Size;
  }
  return sizes;
}

struct Pane {
  unsigned Seed;
  int Width, Height;
};
const Pane kPanes[] = {{1, 800, 600}, {2, 300, 900}, {3, 1920, 1080}, {4, 97, 61}, {5, 2, 3}};

// How many file tiles cover each pixel.
std::vector<int> Coverage(const Layout& layout) {
  std::vector<int> counts(static_cast<std::size_t>(layout.Width()) * layout.Height(), 0);
  const auto tiles = layout.Tiles();
  for (std::size_t i = 0; i < tiles.size(); ++i) {
    if (tiles[i].End != i + 1) continue;
    const Rect r = tiles[i].Bounds();
    for (int y = std::max(r.Y, 0); y < std::min(r.Y + r.Height, layout.Height()); ++y)
      for (int x = std::max(r.X, 0); x < std::min(r.X + r.Width, layout.Width()); ++x)
        ++counts[static_cast<std::size_t>(y) * layout.Width() + x];
  }
  return counts;
}

TEST(TreemapLayout, SquarifiesThePapersExampleAsDoneByHand) {
  const Tree tree = PapersExample();
  const Layout layout(tree.Entries, 600, 400);
  ASSERT_EQ(layout.Tiles().size(), 8u);
  EXPECT_EQ(layout.RectOf(0), (Rect{0, 0, 600, 400}));
  for (std::size_t file = 0; file < kPapersRects.size(); ++file)
    EXPECT_EQ(layout.RectOf(file + 1), kPapersRects[file]) << "file " << file;
}

TEST(TreemapLayout, NoTwoFileTilesOverlap) {
  for (const Pane& pane : kPanes) {
    const Layout layout(RandomTree(pane.Seed).Entries, pane.Width, pane.Height);
    const std::vector<int> counts = Coverage(layout);
    EXPECT_EQ(std::count_if(counts.begin(), counts.end(), [](int n) { return n > 1; }), 0)
        << "seed " << pane.Seed;
  }
}

TEST(TreemapLayout, FileTilesCoverThePane) {
  for (const Pane& pane : kPanes) {
    const Layout layout(RandomTree(pane.Seed).Entries, pane.Width, pane.Height);
    const std::vector<int> counts = Coverage(layout);
    EXPECT_EQ(std::count(counts.begin(), counts.end(), 0), 0) << "seed " << pane.Seed;
  }
}

TEST(TreemapLayout, ChildrenLieInsideTheirFolder) {
  for (const Pane& pane : kPanes) {
    const Tree tree = RandomTree(pane.Seed);
    const Layout layout(tree.Entries, pane.Width, pane.Height);
    for (const Tile& tile : layout.Tiles()) {
      const std::int32_t parent = tree.Entries[tile.Node].Parent;
      const Rect outer = parent < 0 ? Rect{0, 0, pane.Width, pane.Height} : *layout.RectOf(parent);
      const Rect inner = tile.Bounds();
      EXPECT_TRUE(inner.Width > 0 && inner.Height > 0 && inner.X >= outer.X && inner.Y >= outer.Y &&
                  inner.X + inner.Width <= outer.X + outer.Width &&
                  inner.Y + inner.Height <= outer.Y + outer.Height)
          << "seed " << pane.Seed << " entry " << tile.Node;
    }
  }
}

// Each tile's share of its folder's tile is its share of the folder's bytes, within a pixel at
// each edge of both.
void ExpectAreasInProportion(const Tree& tree, const Layout& layout) {
  const std::vector<long double> sizes = Sizes(tree);
  long double top = 0;
  for (std::size_t i = 0; i < sizes.size(); ++i)
    if (tree.Entries[i].Parent < 0) top += sizes[i];
  for (const Tile& tile : layout.Tiles()) {
    const std::int32_t parent = tree.Entries[tile.Node].Parent;
    const Rect outer =
        parent < 0 ? Rect{0, 0, layout.Width(), layout.Height()} : *layout.RectOf(parent);
    const long double share = sizes[tile.Node] / (parent < 0 ? top : sizes[parent]);
    const long double expected = share * outer.Width * outer.Height;
    const long double slack =
        tile.Width + tile.Height + 2 + share * (outer.Width + outer.Height + 2);
    EXPECT_NEAR(static_cast<double>(tile.Width) * tile.Height, static_cast<double>(expected),
                static_cast<double>(slack))
        << "entry " << tile.Node;
  }
}

TEST(TreemapLayout, AreasAreInProportionToSizes) {
  for (const Pane& pane : kPanes) {
    const Tree tree = RandomTree(pane.Seed);
    ExpectAreasInProportion(tree, Layout(tree.Entries, pane.Width, pane.Height));
  }
}

// Slice and dice: each folder cut across its children, the direction turning at each level.
struct Box {
  double X0, Y0, X1, Y1;
};
void SliceAndDice(const Tree& tree, const std::vector<long double>& sizes, int parent, Box box,
                  bool across, std::vector<Box>& boxes) {
  long double total = 0;
  for (std::size_t i = 0; i < tree.Entries.size(); ++i)
    if (tree.Entries[i].Parent == parent) total += sizes[i];
  double at = across ? box.X0 : box.Y0;
  for (std::size_t i = 0; i < tree.Entries.size() && total > 0; ++i) {
    if (tree.Entries[i].Parent != parent) continue;
    const double length =
        static_cast<double>((across ? box.X1 - box.X0 : box.Y1 - box.Y0) * (sizes[i] / total));
    boxes[i] = across ? Box{at, box.Y0, at + length, box.Y1} : Box{box.X0, at, box.X1, at + length};
    at += length;
    SliceAndDice(tree, sizes, static_cast<int>(i), boxes[i], !across, boxes);
  }
}

TEST(TreemapLayout, AspectRatiosAreNoWorseThanSliceAndDice) {
  for (const Pane& pane : kPanes) {
    if (pane.Width < 100) continue;
    const Tree tree = RandomTree(pane.Seed);
    const Layout layout(tree.Entries, pane.Width, pane.Height);
    std::vector<Box> boxes(tree.Entries.size());
    SliceAndDice(tree, Sizes(tree), -1, {0, 0, double(pane.Width), double(pane.Height)}, true,
                 boxes);
    // The files big enough that rounding does not decide their shape.
    double squarified = 0, sliced = 0;
    int files = 0;
    for (const Tile& tile : layout.Tiles()) {
      if (tree.Entries[tile.Node].Folder || tile.Width * tile.Height < 400) continue;
      const Box& box = boxes[tile.Node];
      const double width = box.X1 - box.X0, height = box.Y1 - box.Y0;
      squarified += std::max(double(tile.Width) / tile.Height, double(tile.Height) / tile.Width);
      sliced += std::max(width / height, height / width);
      ++files;
    }
    ASSERT_GT(files, 10);
    // Far better, too: a slice and dice that only sorted its rows would pass a plain "no worse".
    EXPECT_LE(2 * squarified / files, sliced / files) << "seed " << pane.Seed;
  }
}

TEST(TreemapLayout, EmptyFilesAndFoldersAreNotDrawn) {
  Tree tree;
  const int top = tree.Folder(-1);
  tree.File(top, 0);
  tree.Folder(top);
  const int zeros = tree.Folder(top);
  tree.File(zeros, 0);
  const int file = tree.File(top, 5);
  const Layout layout(tree.Entries, 40, 30);
  ASSERT_EQ(layout.Tiles().size(), 2u);
  EXPECT_EQ(layout.RectOf(top), (Rect{0, 0, 40, 30}));
  EXPECT_EQ(layout.RectOf(file), (Rect{0, 0, 40, 30}));
  for (std::size_t empty = 1; empty < 5; ++empty)
    EXPECT_FALSE(layout.RectOf(empty)) << empty;

  // Nothing but empty entries: nothing drawn, the picture all background.
  tree.Entries[file].Size = 0;
  const Layout none(tree.Entries, 40, 30);
  EXPECT_TRUE(none.Tiles().empty());
  std::vector<std::uint32_t> pixels(40 * 30, 0);
  EXPECT_TRUE(
      Render(none, tree.Entries, TypeColours(tree.Entries), pixels, {.Background = 0x123456}));
  EXPECT_EQ(std::count(pixels.begin(), pixels.end(), 0xFF123456u), 40 * 30);
}

TEST(TreemapLayout, HugeSizesSumSaturatingAndKeepTheirShares) {
  // Three of 2^62 beside a byte: thirds of the pane; the byte is not drawn.
  Tree thirds;
  const int folder = thirds.Folder(-1);
  for (int i = 0; i < 3; ++i)
    thirds.File(folder, k2To62);
  thirds.File(folder, 1);
  ExpectAreasInProportion(thirds, Layout(thirds.Entries, 900, 300));

  // Five of 2^62 overflow 64 bits: their folder's size stays at the largest count, so it takes
  // max / (max + 2^62) of the pane beside a file of 2^62, and its files a fifth of it each.
  Tree over;
  const int big = over.Folder(-1);
  for (int i = 0; i < 5; ++i)
    over.File(big, k2To62);
  const int beside = over.File(-1, k2To62);
  const Layout layout(over.Entries, 1000, 100);
  const long double share =
      static_cast<long double>(kMax) / (kMax + static_cast<long double>(k2To62));
  EXPECT_NEAR(layout.RectOf(big)->Width, static_cast<double>(1000 * share), 1.0);
  EXPECT_EQ(layout.RectOf(big)->Width + layout.RectOf(beside)->Width, 1000);
  for (std::size_t file = 1; file <= 5; ++file)
    EXPECT_NEAR(layout.RectOf(file)->Width * layout.RectOf(file)->Height,
                layout.RectOf(big)->Width * 100 / 5.0, 100 + 1);
}

TEST(TreemapLayout, OneFileFillsThePaneThroughEveryFolderAbove) {
  Tree tree;
  int parent = -1;
  for (int depth = 0; depth < 3000; ++depth)
    parent = tree.Folder(parent);
  const int file = tree.File(parent, 7);
  const Layout layout(tree.Entries, 640, 480);
  EXPECT_EQ(layout.Tiles().size(), tree.Entries.size());
  EXPECT_EQ(layout.RectOf(file), (Rect{0, 0, 640, 480}));
  EXPECT_EQ(layout.NodeAt(0, 0), static_cast<std::size_t>(file));
  EXPECT_EQ(layout.NodeAt(639, 479), static_cast<std::size_t>(file));
  // A pane wider than a tile can say is laid out as wide as one can.
  const Layout wide(tree.Entries, 40000, 10);
  EXPECT_EQ(wide.RectOf(file), (Rect{0, 0, Layout::kMaxSide, 10}));

  const Layout empty({}, 640, 480);
  EXPECT_TRUE(empty.Tiles().empty());
  EXPECT_EQ(empty.Check(), TreeCheck{});
  EXPECT_EQ(empty.NodeAt(10, 10), Layout::kNoNode);
}

TEST(TreemapLayout, ListsThatAreNoTreeInPreOrderAreRefused) {
  struct Case {
    std::vector<Entry> Entries;
    TreeCheck Expected;
  };
  const Case cases[] = {
      {{{1, -1, 0, true}, {1, 2, 0, false}, {1, 0, 0, false}}, {TreeFault::ParentNotEarlier, 1}},
      {{{1, -1, 0, true}, {1, 1, 0, false}}, {TreeFault::ParentNotEarlier, 1}},
      {{{1, -2, 0, false}}, {TreeFault::ParentNotEarlier, 0}},
      {{{1, -1, 0, true}, {1, 0, 0, false}, {1, 1, 0, false}}, {TreeFault::ParentNotFolder, 2}},
      {{{1, -1, 0, true}, {1, 0, 0, true}, {1, -1, 0, false}, {1, 1, 0, false}},
       {TreeFault::NotPreOrder, 3}},
  };
  for (const Case& c : cases) {
    const Layout layout(c.Entries, 100, 100);
    EXPECT_EQ(layout.Check(), c.Expected) << c.Expected.Entry;
    EXPECT_TRUE(layout.Tiles().empty());
  }
}

TEST(TreemapTypes, ExtensionsAreKeyedWithoutCase) {
  TypeKeys keys;
  const std::uint16_t txt = keys.KeyOf("a.txt");
  EXPECT_NE(txt, TypeKeys::kNoExtension);
  EXPECT_EQ(keys.KeyOf("README.TXT"), txt);
  EXPECT_EQ(keys.Extension(txt), "txt");
  EXPECT_NE(keys.KeyOf("archive.tar.gz"), txt);
  EXPECT_EQ(keys.Extension(keys.KeyOf("archive.tar.gz")), "gz");
  for (const char* none : {".profile", "name.", "Makefile", ""})
    EXPECT_EQ(keys.KeyOf(none), TypeKeys::kNoExtension) << none;
  // Past the keys there are, every new type shares one key, and the known ones keep theirs.
  for (int i = 0; i < 70000; ++i)
    keys.KeyOf("f." + std::to_string(i));
  EXPECT_EQ(keys.KeyOf("g.new"), TypeKeys::kOther);
  EXPECT_EQ(keys.KeyOf("b.Txt"), txt);
}

TEST(TreemapTypes, TheTypesWithMostBytesGetColoursOfTheirOwn) {
  Tree tree;
  const int folder = tree.Folder(-1);
  tree.Entries[folder].Type = 99;  // a folder's size and type count for nothing
  // Type t has 100 + t bytes, in one file or in many; type 0 many small files.
  const int types = TypeColours::kPaletteSize + 3;
  for (int t = 1; t <= types; ++t) {
    if (t % 2) {
      tree.File(folder, 100 + t, static_cast<std::uint16_t>(t));
    } else {
      for (int i = 0; i < 100 + t; ++i)
        tree.File(folder, 1, static_cast<std::uint16_t>(t));
    }
  }
  for (int i = 0; i < 500; ++i)
    tree.File(folder, 0, 0);
  const TypeColours colours(tree.Entries);
  std::vector<Rgb> own;
  for (int t = types; t > types - int(TypeColours::kPaletteSize); --t)
    own.push_back(colours.ColourOf(static_cast<std::uint16_t>(t)));
  std::vector<Rgb> distinct = own;
  std::sort(distinct.begin(), distinct.end());
  EXPECT_EQ(std::unique(distinct.begin(), distinct.end()), distinct.end());
  EXPECT_EQ(std::count(own.begin(), own.end(), TypeColours::kOtherTypes), 0);
  for (const std::uint16_t rest : {0, 1, 2, 3, 99})
    EXPECT_EQ(colours.ColourOf(rest), TypeColours::kOtherTypes) << rest;
  ASSERT_EQ(colours.Ranked().size(), TypeColours::kPaletteSize);
  EXPECT_EQ(colours.Ranked().front(), types);
}

// The pixel at (x, y) is colour, lit by some intensity: every channel in proportion.
void ExpectShadeOf(std::uint32_t pixel, Rgb colour, int x, int y) {
  const double top = std::max({colour >> 16 & 0xFF, colour >> 8 & 0xFF, colour & 0xFF});
  const double shown = std::max({pixel >> 16 & 0xFF, pixel >> 8 & 0xFF, pixel & 0xFF});
  const double intensity = shown / top;
  for (const int shift : {16, 8, 0})
    EXPECT_NEAR(pixel >> shift & 0xFF, (colour >> shift & 0xFF) * intensity, 2.0)
        << std::hex << pixel << " for " << colour << std::dec << " at " << x << "," << y;
  EXPECT_EQ(pixel >> 24, 0xFFu);
}

int Brightness(std::uint32_t pixel) {
  return (pixel >> 16 & 0xFF) + (pixel >> 8 & 0xFF) + (pixel & 0xFF);
}

TEST(TreemapPicture, EachFileShowsItsTypesColourOnACushionLitFromTheTopLeft) {
  const Tree tree = PapersExample();
  const TypeColours colours(tree.Entries);
  for (const int scale : {2, 3}) {  // 96 and 144 dpi
    const Layout layout(tree.Entries, 300 * scale, 200 * scale);
    std::vector<std::uint32_t> pixels(layout.Width() * layout.Height());
    ASSERT_TRUE(Render(layout, tree.Entries, colours, pixels));
    const auto at = [&](double x, double y) {
      return pixels[int(y * scale / 2) * layout.Width() + int(x * scale / 2)];
    };
    for (std::size_t file = 0; file < kPapersRects.size(); ++file) {
      const Rect r = kPapersRects[file];
      const std::uint16_t type = tree.Entries[file + 1].Type;
      ExpectShadeOf(at(r.X + r.Width / 2.0, r.Y + r.Height / 2.0), colours.ColourOf(type), 0, 0);
    }
    // The cushions' slopes are those of the picture at 96 dpi, only finer.
    if (scale == 3) {
      const Layout small(tree.Entries, 600, 400);
      std::vector<std::uint32_t> reference(600 * 400);
      Render(small, tree.Entries, colours, reference);
      for (const auto& [x, y] : {std::pair{150, 100}, {60, 40}, {360, 120}, {560, 300}})
        for (const int shift : {16, 8, 0})
          EXPECT_NEAR(at(x, y) >> shift & 0xFF, reference[y * 600 + x] >> shift & 0xFF, 4.0)
              << x << "," << y;
    }
  }
  // One file's cushion is lit from the top left: a quarter of the way in from that corner it is
  // brighter than as far in from the opposite one, and the middle brighter than either.
  Tree one;
  one.File(-1, 10);
  const Layout whole(one.Entries, 200, 100);
  std::vector<std::uint32_t> cushion(200 * 100);
  ASSERT_TRUE(Render(whole, one.Entries, TypeColours(one.Entries), cushion));
  EXPECT_GT(Brightness(cushion[25 * 200 + 50]), Brightness(cushion[74 * 200 + 149]) + 60);
  EXPECT_GT(Brightness(cushion[50 * 200 + 100]), Brightness(cushion[25 * 200 + 50]));

  std::vector<std::uint32_t> tooSmall(600 * 400 - 1, 7);
  EXPECT_FALSE(Render(Layout(tree.Entries, 600, 400), tree.Entries, colours, tooSmall));
  EXPECT_EQ(std::count(tooSmall.begin(), tooSmall.end(), 7u), 600 * 400 - 1);
}

TEST(TreemapPointing, ThePointFindsTheFileWhoseTileHoldsIt) {
  const Tree tree = PapersExample();
  const Layout layout(tree.Entries, 600, 400);
  for (std::size_t file = 0; file < kPapersRects.size(); ++file) {
    const Rect r = kPapersRects[file];
    for (const auto& [x, y] : {std::pair{r.X, r.Y}, {r.X + r.Width - 1, r.Y + r.Height - 1}})
      EXPECT_EQ(layout.NodeAt(x, y), file + 1) << x << "," << y;
  }
  for (const auto& [x, y] : {std::pair{-1, 0}, {600, 0}, {0, 400}, {0, -1}})
    EXPECT_EQ(layout.NodeAt(x, y), Layout::kNoNode) << x << "," << y;

  // In a deep tree, any point finds a file whose tile holds it.
  const Tree random = RandomTree(3);
  const Layout deep(random.Entries, 1920, 1080);
  std::mt19937 points(7);
  for (int i = 0; i < 2000; ++i) {
    const int x = int(points() % 1920), y = int(points() % 1080);
    const std::size_t node = deep.NodeAt(x, y);
    ASSERT_LT(node, random.Entries.size());
    EXPECT_FALSE(random.Entries[node].Folder) << x << "," << y;
    EXPECT_TRUE(deep.RectOf(node)->Contains(x, y)) << x << "," << y;
  }
}

}  // namespace
}  // namespace quillet::treemap
