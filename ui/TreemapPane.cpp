#include "ui/TreemapPane.h"

#include <algorithm>

#include "scan/Text.h"

namespace quillet {

std::span<const std::uint32_t> TreemapPane::Picture(int width, int height) {
  width = std::clamp(width, 0, treemap::Layout::kMaxSide);
  height = std::clamp(height, 0, treemap::Layout::kMaxSide);
  if (m_treeStale && m_filling == 0) {
    treemap::TypeKeys keys;
    m_tree = FileTreeOf(m_model, keys);
    m_colours = treemap::TypeColours(m_tree.Entries);
    m_treeStale = false;
    m_layoutStale = true;
  }
  if (m_layoutStale || width != m_layout.Width() || height != m_layout.Height()) {
    m_layout = treemap::Layout(m_tree.Entries, width, height);
    m_pixels.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0);
    treemap::Render(m_layout, m_tree.Entries, m_colours, m_pixels);
    m_layoutStale = false;
  }
  return m_pixels;
}

std::optional<std::size_t> TreemapPane::RowAt(int x, int y) const {
  const std::size_t node = m_layout.NodeAt(x, y);
  if (node >= m_tree.Rows.size()) return std::nullopt;
  const std::size_t row = m_tree.Rows[node];
  // The list may have changed since the picture was drawn.
  if (row >= m_model.FileRowCount()) return std::nullopt;
  return row;
}

std::optional<treemap::Rect> TreemapPane::Outline() const {
  const auto selected = m_model.FirstSelected(ListKind::File);
  if (!selected) return std::nullopt;
  const auto at = std::find(m_tree.Rows.begin(), m_tree.Rows.end(), *selected);
  if (at == m_tree.Rows.end()) return std::nullopt;
  return m_layout.RectOf(static_cast<std::size_t>(at - m_tree.Rows.begin()));
}

std::string TreemapPane::HoverText(int x, int y) const {
  const std::size_t node = m_layout.NodeAt(x, y);
  const auto row = RowAt(x, y);
  if (!row) return {};
  const FileRow file = m_model.FileRowAt(*row);
  std::string text(file.Path);
  // A folder is drawn where its files are too small to be: its size is theirs.
  std::uint64_t bytes = 0;
  if (file.IsFolder) {
    for (std::size_t i = node + 1; i < m_tree.Entries.size(); ++i) {
      std::int64_t parent = m_tree.Entries[i].Parent;
      while (parent > static_cast<std::int64_t>(node))
        parent = m_tree.Entries[static_cast<std::size_t>(parent)].Parent;
      if (parent != static_cast<std::int64_t>(node)) break;
      bytes += std::min(m_tree.Entries[i].Size, UINT64_MAX - bytes);
    }
  } else {
    bytes = static_cast<std::uint64_t>(std::max<std::int64_t>(file.Size, 0));
  }
  text += "\n" + CountText(static_cast<std::int64_t>(std::min<std::uint64_t>(bytes, INT64_MAX))) +
          " byte";
  return text;
}

bool TreemapPane::Click(int x, int y) {
  const auto row = RowAt(x, y);
  if (!row) return false;
  m_model.SelectAll(ListKind::File, false);
  m_model.SetSelected(ListKind::File, *row, true);
  return true;
}

}  // namespace quillet
