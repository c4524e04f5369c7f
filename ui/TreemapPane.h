// What both programs' treemap panes do, without a toolkit: the picture of the file list's tree at
// the pane's size, the text of the entry under the pointer, and the click, double-click and Enter
// that select and open a file as the file list does. A program's pane blits Picture(), draws
// Outline() and routes its mouse and keys here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "lists/Lists.h"
#include "ui/FileTree.h"
#include "ui/Treemap.h"

namespace quillet {

class TreemapPane {
 public:
  explicit TreemapPane(ListsModel& model) : m_model(model) {}

  // The file list changed: its tree is taken again for the next picture.
  void FileListChanged() { m_treeStale = true; }
  // While a file view fills the list, the picture stays as it was (taking the tree at every pump
  // would slow the listing down); the first picture after it shows the whole listing.
  void BeginFilling() { ++m_filling; }
  void EndFilling() {
    if (m_filling > 0) --m_filling;
  }

  // The picture of the file list in a pane of width × height pixels (at most Layout::kMaxSide
  // each), rows top down, each pixel 0xFFRRGGBB. Laid out and drawn again only when the list or
  // the size changed.
  std::span<const std::uint32_t> Picture(int width, int height);
  int Width() const { return m_layout.Width(); }
  int Height() const { return m_layout.Height(); }

  // The rectangle of the file list's first selected row, as the last picture drew it; none when
  // no row is selected or its rectangle is not drawn.
  std::optional<treemap::Rect> Outline() const;
  // The path and size of what the last picture drew at (x, y); empty where nothing is.
  std::string HoverText(int x, int y) const;
  // Selects the row drawn at (x, y) as the file list's only selection; false where nothing is
  // drawn (the selection then stays).
  bool Click(int x, int y);
  // The file list's row drawn at (x, y), if any.
  std::optional<std::size_t> RowAt(int x, int y) const;

  // The bytes the layout keeps (the picture's pixels and the tree aside).
  std::size_t LayoutBytes() const { return m_layout.MemoryBytes(); }
  std::size_t LayoutTiles() const { return m_layout.Tiles().size(); }

 private:
  ListsModel& m_model;
  bool m_treeStale = true;
  int m_filling = 0;
  FileTree m_tree;
  treemap::TypeColours m_colours;
  treemap::Layout m_layout;
  std::vector<std::uint32_t> m_pixels;
  bool m_layoutStale = true;
};

}  // namespace quillet
