#include "ui/Treemap.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace quillet::treemap {

namespace {

std::uint64_t SaturatingAdd(std::uint64_t a, std::uint64_t b) {
  const std::uint64_t sum = a + b;
  return sum < a ? std::numeric_limits<std::uint64_t>::max() : sum;
}

// To the nearest pixel edge; edges are never negative, so truncating is flooring.
int Round(float value) {
  return static_cast<int>(static_cast<double>(value) + 0.5);
}

// A rectangle in fractions of pixels while it is laid out. Children get the very edges of their
// parent and share the very edges between them, so rounding every edge alike keeps them tiling
// their parent's rounded rectangle without a gap or an overlap.
struct Area {
  float X0, Y0, X1, Y1;
  bool Drawn() const { return Round(X1) > Round(X0) && Round(Y1) > Round(Y0); }
};

// Walks the entries once: checks that they are a tree in pre-order, finds where each subtree
// ends and sums the folders' sizes.
TreeCheck Index(std::span<const Entry> entries, std::vector<std::uint32_t>& ends,
                std::vector<std::uint64_t>& sizes) {
  const std::size_t count = entries.size();
  if (count > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()))
    return {TreeFault::TooManyEntries,
            static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())};
  ends.assign(count, 0);
  sizes.assign(count, 0);
  std::vector<std::uint32_t> open;  // the folders the next entry may be in, innermost last
  for (std::size_t i = 0; i < count; ++i) {
    const Entry& entry = entries[i];
    const std::int64_t parent = entry.Parent;
    if (parent < -1 || parent >= static_cast<std::int64_t>(i))
      return {TreeFault::ParentNotEarlier, i};
    if (parent >= 0 && !entries[parent].Folder) return {TreeFault::ParentNotFolder, i};
    while (!open.empty() && open.back() != parent) {
      ends[open.back()] = static_cast<std::uint32_t>(i);
      open.pop_back();
    }
    if (parent >= 0 && open.empty()) return {TreeFault::NotPreOrder, i};
    if (entry.Folder) {
      open.push_back(static_cast<std::uint32_t>(i));
    } else {
      ends[i] = static_cast<std::uint32_t>(i + 1);
      sizes[i] = entry.Size;
    }
  }
  for (const std::uint32_t folder : open)
    ends[folder] = static_cast<std::uint32_t>(count);
  for (std::size_t i = count; i-- > 0;)
    if (entries[i].Parent >= 0)
      sizes[entries[i].Parent] = SaturatingAdd(sizes[entries[i].Parent], sizes[i]);
  return {};
}

// The worst aspect ratio of a row of areas summing to sum, largest largest and smallest
// smallest, along a side of length side.
double Worst(double sum, double largest, double smallest, double side) {
  const double side2 = side * side;
  const double sum2 = sum * sum;
  return std::max(side2 * largest / sum2, sum2 / (side2 * smallest));
}

// A folder's child with its size beside it, so that sorting and squarifying read one array.
struct Child {
  std::uint64_t Size;
  std::uint32_t Node;
};

// Squarifies children (largest first) into area: rows along the shorter side of what remains,
// each grown while its worst aspect ratio improves. Gives each child's area to place, in order.
template <typename Place>
void Squarify(std::span<const Child> nodes, Area area, Place&& place) {
  double remaining = 0;
  for (const Child& node : nodes)
    remaining += static_cast<double>(node.Size);
  double x0 = area.X0, y0 = area.Y0;
  const double x1 = area.X1, y1 = area.Y1;
  std::size_t first = 0;
  while (first < nodes.size()) {
    const double width = x1 - x0, height = y1 - y0;
    if (width <= 0 || height <= 0 || remaining <= 0) return;
    const double scale = width * height / remaining;  // pixels per byte
    const double side = std::min(width, height);
    double sum = static_cast<double>(nodes[first].Size) * scale;
    const double largest = sum;
    double worst = Worst(sum, largest, sum, side);
    std::size_t end = first + 1;
    for (; end < nodes.size(); ++end) {
      const double next = static_cast<double>(nodes[end].Size) * scale;
      const double grown = Worst(sum + next, largest, next, side);
      if (grown > worst) break;
      sum += next;
      worst = grown;
    }
    const bool last = end == nodes.size();
    const double rowBytes = sum / scale;
    // The row fills the side it lies along; its thickness is its share of what remains.
    const bool column = width >= height;
    const float cut = static_cast<float>(
        last ? (column ? x1 : y1)
             : (column ? x0 + width * rowBytes / remaining : y0 + height * rowBytes / remaining));
    float along = static_cast<float>(column ? y0 : x0);
    double placed = 0;
    for (std::size_t i = first; i < end; ++i) {
      placed += static_cast<double>(nodes[i].Size);
      const float next = i + 1 == end
                             ? static_cast<float>(column ? y1 : x1)
                             : static_cast<float>((column ? y0 : x0) +
                                                  (column ? height : width) * placed / rowBytes);
      place(nodes[i].Node, column ? Area{static_cast<float>(x0), along, cut, next}
                                  : Area{along, static_cast<float>(y0), next, cut});
      along = next;
    }
    (column ? x0 : y0) = cut;
    remaining -= rowBytes;
    first = end;
  }
}

}  // namespace

std::string_view ExtensionOf(std::string_view name) {
  const std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || dot == 0 || dot + 1 == name.size()) return {};
  return name.substr(dot + 1);
}

TypeKeys::TypeKeys() {
  m_extensions.push_back(nullptr);
}

std::uint16_t TypeKeys::KeyOf(std::string_view name) {
  const std::string_view extension = ExtensionOf(name);
  if (extension.empty()) return kNoExtension;
  m_lower.assign(extension);
  for (char& c : m_lower)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  if (const auto found = m_keys.find(std::string_view(m_lower)); found != m_keys.end())
    return found->second;
  if (m_extensions.size() >= kOther) return kOther;
  const auto key = static_cast<std::uint16_t>(m_extensions.size());
  const auto inserted = m_keys.emplace(m_lower, key).first;
  m_extensions.push_back(&inserted->first);
  return key;
}

std::string_view TypeKeys::Extension(std::uint16_t key) const {
  if (key == kNoExtension || key >= m_extensions.size()) return {};
  return *m_extensions[key];
}

Layout::Layout(std::span<const Entry> entries, int width, int height)
    : m_width(std::clamp(width, 0, kMaxSide)), m_height(std::clamp(height, 0, kMaxSide)) {
  std::vector<std::uint32_t> ends;
  std::vector<std::uint64_t> sizes;
  m_check = Index(entries, ends, sizes);
  if (m_check.Fault != TreeFault::None || m_width == 0 || m_height == 0) return;

  // Depth first without recursion (chains of folders run thousands deep): a frame is a tile
  // still to draw, or (kClose) the end of a folder's subtree.
  constexpr std::uint32_t kClose = 0x80000000u;
  struct Frame {
    std::uint32_t Node;
    Area Where;
  };
  std::vector<Frame> stack;
  std::vector<Child> children;
  std::vector<Frame> placed;
  // Pushes the drawn children of parent (the top level for -1), the first one on top.
  const auto pushChildren = [&](std::int64_t parent, Area area) {
    children.clear();
    const std::size_t end = parent < 0 ? entries.size() : ends[parent];
    for (std::size_t child = parent + 1; child < end; child = ends[child])
      if (sizes[child] > 0) children.push_back({sizes[child], static_cast<std::uint32_t>(child)});
    std::sort(children.begin(), children.end(), [](const Child& a, const Child& b) {
      return a.Size != b.Size ? a.Size > b.Size : a.Node < b.Node;
    });
    placed.clear();
    Squarify(children, area, [&](std::uint32_t node, Area where) {
      if (where.Drawn()) placed.push_back({node, where});
    });
    stack.insert(stack.end(), placed.rbegin(), placed.rend());
  };

  pushChildren(-1, Area{0, 0, static_cast<float>(m_width), static_cast<float>(m_height)});
  while (!stack.empty()) {
    const Frame frame = stack.back();
    stack.pop_back();
    if (frame.Node & kClose) {
      m_tiles[frame.Node & ~kClose].End = static_cast<std::uint32_t>(m_tiles.size());
      continue;
    }
    const int x = Round(frame.Where.X0), y = Round(frame.Where.Y0);
    const auto index = static_cast<std::uint32_t>(m_tiles.size());
    m_tiles.push_back(Tile{static_cast<std::int16_t>(x), static_cast<std::int16_t>(y),
                           static_cast<std::int16_t>(Round(frame.Where.X1) - x),
                           static_cast<std::int16_t>(Round(frame.Where.Y1) - y), frame.Node,
                           index + 1});
    if (entries[frame.Node].Folder) {
      stack.push_back({index | kClose, {}});
      pushChildren(frame.Node, frame.Where);
    }
  }
  m_tiles.shrink_to_fit();
}

std::size_t Layout::NodeAt(int x, int y) const {
  std::size_t found = kNoNode;
  std::size_t i = 0, end = m_tiles.size();
  while (i < end) {
    const Tile& tile = m_tiles[i];
    if (!tile.Bounds().Contains(x, y)) {
      i = tile.End;
      continue;
    }
    found = tile.Node;
    end = tile.End;
    ++i;
  }
  return found;
}

std::optional<Rect> Layout::RectOf(std::size_t node) const {
  for (const Tile& tile : m_tiles)
    if (tile.Node == node) return tile.Bounds();
  return std::nullopt;
}

TypeColours::TypeColours(std::span<const Entry> entries) {
  std::vector<std::uint64_t> bytes;
  for (const Entry& entry : entries) {
    if (entry.Folder || entry.Size == 0) continue;
    if (entry.Type >= bytes.size()) bytes.resize(std::size_t{entry.Type} + 1, 0);
    bytes[entry.Type] = SaturatingAdd(bytes[entry.Type], entry.Size);
  }
  for (std::size_t type = 0; type < bytes.size(); ++type)
    if (bytes[type] > 0) m_ranked.push_back(static_cast<std::uint16_t>(type));
  const auto byBytes = [&](std::uint16_t a, std::uint16_t b) {
    return bytes[a] != bytes[b] ? bytes[a] > bytes[b] : a < b;
  };
  const std::size_t kept = std::min(m_ranked.size(), kPaletteSize);
  std::partial_sort(m_ranked.begin(), m_ranked.begin() + kept, m_ranked.end(), byBytes);
  m_ranked.resize(kept);
}

Rgb TypeColours::ColourOf(std::uint16_t type) const {
  // Hues apart from each other and from the grey, none too dark to show its cushion.
  static constexpr std::array<Rgb, kPaletteSize> kPalette = {
      0x3C64DC, 0xDC3C3C, 0x3CB43C, 0xE6C83C, 0x3CC8C8, 0xC83CC8,
      0xF08C28, 0x8C5AE6, 0x96D232, 0xE678AA, 0x2896A0, 0xB48C5A};
  for (std::size_t rank = 0; rank < m_ranked.size(); ++rank)
    if (m_ranked[rank] == type) return kPalette[rank];
  return kOtherTypes;
}

namespace {

// A cushion's surface z = X2 x² + X1 x + Y2 y² + Y1 y.
struct Surface {
  double X1 = 0, X2 = 0, Y1 = 0, Y2 = 0;

  // Adds a parabolic ridge of height h across each axis of rect: its slope at the rectangle's
  // edges is 4h whatever the rectangle's size.
  Surface With(const Rect& rect, double h) const {
    const double x0 = rect.X, x1 = rect.X + rect.Width;
    const double y0 = rect.Y, y1 = rect.Y + rect.Height;
    return {X1 + 4 * h * (x1 + x0) / (x1 - x0), X2 - 4 * h / (x1 - x0),
            Y1 + 4 * h * (y1 + y0) / (y1 - y0), Y2 - 4 * h / (y1 - y0)};
  }
};

// Fills rect with colour on surface; columns is scratch space. The slopes are taken in double
// (a small tile far from the origin subtracts large coefficients), the lighting in float.
void Fill(const Rect& rect, const Surface& surface, Rgb colour, const Shading& shading,
          const std::array<double, 3>& light, std::span<std::uint32_t> pixels, int stride,
          std::vector<float>& columns) {
  columns.resize(static_cast<std::size_t>(rect.Width));
  for (int i = 0; i < rect.Width; ++i)
    columns[i] = static_cast<float>(-(2 * surface.X2 * (rect.X + i + 0.5) + surface.X1));
  const float red = static_cast<float>((colour >> 16) & 0xFF);
  const float green = static_cast<float>((colour >> 8) & 0xFF);
  const float blue = static_cast<float>(colour & 0xFF);
  const float ambient = static_cast<float>(shading.Ambient), diffuse = 1.0f - ambient;
  const float lightX = static_cast<float>(light[0]);
  for (int y = rect.Y; y < rect.Y + rect.Height; ++y) {
    const double ny = -(2 * surface.Y2 * (y + 0.5) + surface.Y1);
    const float across = static_cast<float>(ny * light[1] + light[2]);
    const float slope = static_cast<float>(ny * ny + 1);
    std::uint32_t* row = pixels.data() + static_cast<std::size_t>(y) * stride + rect.X;
    for (int i = 0; i < rect.Width; ++i) {
      const float nx = columns[i];
      const float cosine = (nx * lightX + across) / std::sqrt(nx * nx + slope);
      const float intensity = ambient + diffuse * std::max(0.0f, cosine);
      const auto channel = [&](float value) {
        return static_cast<std::uint32_t>(std::min(255.0f, value * intensity + 0.5f));
      };
      row[i] = 0xFF000000u | channel(red) << 16 | channel(green) << 8 | channel(blue);
    }
  }
}

}  // namespace

bool Render(const Layout& layout, std::span<const Entry> entries, const TypeColours& colours,
            std::span<std::uint32_t> pixels, const Shading& shading) {
  const int width = layout.Width(), height = layout.Height();
  if (pixels.size() < static_cast<std::size_t>(width) * static_cast<std::size_t>(height))
    return false;
  for (const Tile& tile : layout.Tiles())
    if (tile.Node >= entries.size()) return false;
  std::fill_n(pixels.begin(), static_cast<std::size_t>(width) * height,
              0xFF000000u | shading.Background);
  if (width == 0 || height == 0) return true;

  std::array<double, 3> light = shading.Light;
  const double length = std::hypot(light[0], light[1], light[2]);
  for (double& part : light)
    part /= length;

  // The surfaces of the folders around the tile being drawn, innermost last.
  struct Open {
    std::uint32_t End;
    Surface Cushion;
  };
  std::vector<Open> open;
  std::vector<double> heights{shading.Height};  // by depth
  std::vector<float> columns;
  const Surface pane = Surface{}.With({0, 0, width, height}, shading.Height);
  const std::span<const Tile> tiles = layout.Tiles();
  for (std::size_t i = 0; i < tiles.size(); ++i) {
    while (!open.empty() && open.back().End <= i)
      open.pop_back();
    const std::size_t depth = open.size() + 1;
    if (heights.size() <= depth) heights.push_back(heights.back() * shading.Falloff);
    const Rect rect = tiles[i].Bounds();
    const Surface cushion = (open.empty() ? pane : open.back().Cushion).With(rect, heights[depth]);
    if (tiles[i].End > i + 1) {
      open.push_back({tiles[i].End, cushion});
      continue;
    }
    const Entry& entry = entries[tiles[i].Node];
    Fill(rect, cushion, entry.Folder ? TypeColours::kOtherTypes : colours.ColourOf(entry.Type),
         shading, light, pixels, width, columns);
  }
  return true;
}

}  // namespace quillet::treemap
