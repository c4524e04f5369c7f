// A list view in report mode over a flat table model: a header of columns above rows of one
// height. It keeps nothing per row, so rows appended, removed or reordered cost the rows on
// screen, however many the list holds.
#pragma once

#include <QAbstractItemView>

#include <vector>

class QHeaderView;

namespace quillet {

class ColumnListView : public QAbstractItemView {
  Q_OBJECT
 public:
  explicit ColumnListView(QWidget* parent = nullptr);

  void setModel(QAbstractItemModel* model) override;
  QHeaderView* header() const { return m_header; }
  // The height of every row, in pixels.
  int RowHeight() const;
  // The first row shown at the top of the viewport.
  int TopRow() const;

  QRect visualRect(const QModelIndex& index) const override;
  void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;
  QModelIndex indexAt(const QPoint& point) const override;

 protected:
  QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
  int horizontalOffset() const override;
  int verticalOffset() const override;
  bool isIndexHidden(const QModelIndex&) const override { return false; }
  void setSelection(const QRect& rect, QItemSelectionModel::SelectionFlags command) override;
  QRegion visualRegionForSelection(const QItemSelection& selection) const override;
  void rowsInserted(const QModelIndex& parent, int first, int last) override;
  void updateGeometries() override;
  void scrollContentsBy(int dx, int dy) override;
  void paintEvent(QPaintEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  int RowCount() const;
  // Rows that fit in the viewport, the last one possibly cut (at least 1).
  int RowsOnScreen() const;
  // Rows wholly inside the viewport (at least 1).
  int WholeRowsOnScreen() const;
  // The row under viewport height y, which may lie outside the list.
  int RowAtY(int y) const;
  void ContentsChanged();

  QHeaderView* m_header;
  mutable int m_rowHeight = 0;  // 0: measure again
  bool m_inGeometries = false;
  std::vector<QMetaObject::Connection> m_modelConnections;
};

}  // namespace quillet
