// The treemap of the file view without a toolkit: the squarified layout nested by folder, the
// file types' colours and the cushion-shaded picture. Both programs blit the picture and outline
// the rectangles this gives them; they paint nothing of their own.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace quillet::treemap {

// One entry of the tree, as the file list keeps it (no name: the caller keeps its own names and
// gives each file its type's key). Entries come in depth-first pre-order: a folder comes before
// everything below it, and everything below it comes right after it.
struct Entry {
  std::uint64_t Size = 0;    // a file's own size; a folder's is ignored (its children's sum)
  std::int32_t Parent = -1;  // the index of the folder holding it, or -1 at the top
  std::uint16_t Type = 0;    // the file's type, from TypeKeys; ignored for folders
  bool Folder = false;
};

// A name's extension: what follows its last dot; none where there is no dot, where the dot is
// the name's first character (".profile") or its last.
std::string_view ExtensionOf(std::string_view name);

// The keys of file types: one per extension, ASCII letters compared without case ("JPG" is
// "jpg"), so that a type's colour is the same on both platforms.
class TypeKeys {
 public:
  static constexpr std::uint16_t kNoExtension = 0;
  // Every type past the first 65,534 extensions shares this key.
  static constexpr std::uint16_t kOther = 0xFFFF;

  TypeKeys();
  // The key of name's type (a file's name, not its path); the name is not kept.
  std::uint16_t KeyOf(std::string_view name);
  // The extension of key, in lower case; empty for kNoExtension and kOther.
  std::string_view Extension(std::uint16_t key) const;

 private:
  struct Hash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const {
      return std::hash<std::string_view>{}(text);
    }
  };
  std::unordered_map<std::string, std::uint16_t, Hash, std::equal_to<>> m_keys;
  std::vector<const std::string*> m_extensions;  // by key
  std::string m_lower;
};

struct Rect {
  int X = 0;
  int Y = 0;
  int Width = 0;
  int Height = 0;
  bool Contains(int x, int y) const { return x >= X && y >= Y && x - X < Width && y - Y < Height; }
  bool operator==(const Rect&) const = default;
};

// One drawn rectangle: a folder's (the frame its children fill, exactly) or a file's. Tiles are
// kept in pre-order, so a tile's subtree is the tiles from it up to End.
struct Tile {
  std::int16_t X, Y, Width, Height;
  std::uint32_t Node;  // the entry's index
  std::uint32_t End;   // one past the last tile below this one
  Rect Bounds() const { return {X, Y, Width, Height}; }
};

// What makes a list of entries no tree in pre-order; Entry is the first entry found wrong.
enum class TreeFault {
  None,
  ParentNotEarlier,  // the parent index is not that of an earlier entry (nor -1)
  ParentNotFolder,   // the parent entry is a file
  NotPreOrder,       // the parent's subtree ended before this entry
  TooManyEntries,    // more than 2^31 - 1 entries
};
struct TreeCheck {
  TreeFault Fault = TreeFault::None;
  std::size_t Entry = 0;
  bool operator==(const TreeCheck&) const = default;
};

// The squarified treemap of a tree in a pane of pixels: every entry's rectangle has an area in
// proportion to its size (a folder's is the saturating sum of its children's), within rounding,
// and the rectangles of a folder's children fill its own exactly. A rectangle that rounds to
// less than a pixel is not drawn, nor anything below it; its neighbours take its sliver. Entries
// of size 0 are not drawn. The top-level entries share the whole pane.
class Layout {
 public:
  static constexpr std::size_t kNoNode = static_cast<std::size_t>(-1);
  // A pane is at most this many pixels wide and high; a larger one is laid out at this size.
  static constexpr int kMaxSide = 32767;

  Layout() = default;
  // The layout of entries in a pane of width × height pixels. A list that is no tree in
  // pre-order is not laid out: Check() says what is wrong and no tile is drawn.
  Layout(std::span<const Entry> entries, int width, int height);

  TreeCheck Check() const { return m_check; }
  int Width() const { return m_width; }
  int Height() const { return m_height; }
  std::span<const Tile> Tiles() const { return m_tiles; }

  // The entry drawn at pixel (x, y): the deepest tile holding it, which is a file's wherever a
  // file is drawn; kNoNode outside the pane or where nothing is drawn.
  std::size_t NodeAt(int x, int y) const;
  // The rectangle of entry node; none if it is not drawn.
  std::optional<Rect> RectOf(std::size_t node) const;
  // The bytes the layout keeps.
  std::size_t MemoryBytes() const { return m_tiles.capacity() * sizeof(Tile); }

 private:
  std::vector<Tile> m_tiles;
  TreeCheck m_check;
  int m_width = 0;
  int m_height = 0;
};

// A colour as 0xRRGGBB.
using Rgb = std::uint32_t;

// The colours of file types: the kPaletteSize types with the most bytes get a colour of their
// own, most bytes first; every other type one grey.
class TypeColours {
 public:
  static constexpr std::size_t kPaletteSize = 12;
  static constexpr Rgb kOtherTypes = 0xA0A0A0;

  TypeColours() = default;
  // Ranks the types of the files among entries by their bytes (saturating sums); of two types
  // with as many bytes, the lower key goes first. Types with no bytes get no colour of their own.
  explicit TypeColours(std::span<const Entry> entries);

  Rgb ColourOf(std::uint16_t type) const;
  // The types that have a colour of their own, most bytes first (for a legend).
  std::span<const std::uint16_t> Ranked() const { return m_ranked; }

 private:
  std::vector<std::uint16_t> m_ranked;
};

// The cushions: each tile adds a ridge of height Height × Falloff^depth along both axes to the
// surface of the tile holding it (the pane's own ridge at depth 0), lit from Light with Ambient
// light besides. Slopes do not depend on a tile's size, so a picture at 144 dpi is the one at 96
// dpi with more pixels.
struct Shading {
  double Height = 0.38;
  double Falloff = 0.91;
  double Ambient = 0.13;
  std::array<double, 3> Light{-1.0, -1.0, 10.0};  // towards the light: left, up, out of the pane
  Rgb Background = 0xFFFFFF;                      // where nothing is drawn
};

// Draws layout into pixels, layout.Width() × layout.Height() of them, rows top down, each
// 0xFFRRGGBB (what a 32-bit RGB image of either program holds): every file's tile in its type's
// colour on its cushion. False, drawing nothing, if pixels is too small.
bool Render(const Layout& layout, std::span<const Entry> entries, const TypeColours& colours,
            std::span<std::uint32_t> pixels, const Shading& shading = {});

}  // namespace quillet::treemap
