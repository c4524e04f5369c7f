#include "ui/qt/ColumnListView.h"

#include <QHeaderView>
#include <QPainter>
#include <QPaintEvent>
#include <QScrollBar>

#include <algorithm>
#include <climits>
#include <cstdlib>

namespace quillet {

namespace {

// Positions far outside the viewport are kept within what a QRect can hold.
int ClampedPixels(qint64 pixels) {
  return static_cast<int>(std::clamp<qint64>(pixels, INT_MIN / 2, INT_MAX / 2));
}

}  // namespace

ColumnListView::ColumnListView(QWidget* parent)
    : QAbstractItemView(parent), m_header(new QHeaderView(Qt::Horizontal, this)) {
  setHorizontalScrollMode(ScrollPerPixel);
  setVerticalScrollMode(ScrollPerItem);
  const auto relayout = [this] { ContentsChanged(); };
  connect(m_header, &QHeaderView::sectionResized, this, relayout);
  connect(m_header, &QHeaderView::sectionMoved, this, relayout);
  connect(m_header, &QHeaderView::sectionCountChanged, this, relayout);
  connect(m_header, &QHeaderView::geometriesChanged, this, relayout);
  connect(this, &QAbstractItemView::iconSizeChanged, this, [this] {
    m_rowHeight = 0;
    ContentsChanged();
  });
}

void ColumnListView::setModel(QAbstractItemModel* model) {
  for (const QMetaObject::Connection& connection : m_modelConnections)
    disconnect(connection);
  m_modelConnections.clear();
  QAbstractItemView::setModel(model);
  m_header->setModel(model);
  if (model != nullptr) {
    // Insertions come through rowsInserted; every other change of the rows may move any of the
    // rows on screen.
    const auto changed = [this] { ContentsChanged(); };
    m_modelConnections = {
        connect(model, &QAbstractItemModel::rowsRemoved, this, changed),
        connect(model, &QAbstractItemModel::rowsMoved, this, changed),
        connect(model, &QAbstractItemModel::layoutChanged, this, changed),
        connect(model, &QAbstractItemModel::modelReset, this, changed),
    };
  }
  ContentsChanged();
}

int ColumnListView::RowHeight() const {
  if (m_rowHeight == 0) {
    // Every row is as high as a row of text beside an image: measured once, never per row.
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.features = QStyleOptionViewItem::HasDisplay | QStyleOptionViewItem::HasDecoration;
    option.text = QStringLiteral("Ag");
    const QSize size = style()->sizeFromContents(QStyle::CT_ItemViewItem, &option, QSize(), this);
    m_rowHeight = std::max({1, size.height(), fontMetrics().height()});
  }
  return m_rowHeight;
}

int ColumnListView::TopRow() const {
  return verticalScrollBar()->value();
}

int ColumnListView::RowCount() const {
  return model() != nullptr ? model()->rowCount(rootIndex()) : 0;
}

int ColumnListView::RowsOnScreen() const {
  return std::max(1, (viewport()->height() + RowHeight() - 1) / RowHeight());
}

int ColumnListView::WholeRowsOnScreen() const {
  return std::max(1, viewport()->height() / RowHeight());
}

int ColumnListView::RowAtY(int y) const {
  const int height = RowHeight();
  const int rows = y >= 0 ? y / height : -((height - 1 - y) / height);
  return TopRow() + rows;
}

void ColumnListView::ContentsChanged() {
  updateGeometries();
  viewport()->update();
}

QRect ColumnListView::visualRect(const QModelIndex& index) const {
  if (!index.isValid() || index.model() != model() || index.parent() != rootIndex()) return {};
  const qint64 y = static_cast<qint64>(index.row() - TopRow()) * RowHeight();
  return {m_header->sectionViewportPosition(index.column()), ClampedPixels(y),
          m_header->sectionSize(index.column()), RowHeight()};
}

void ColumnListView::scrollTo(const QModelIndex& index, ScrollHint hint) {
  if (!index.isValid() || index.model() != model()) return;
  const int row = index.row();
  const int top = TopRow();
  const int whole = WholeRowsOnScreen();
  int newTop = top;
  switch (hint) {
    case PositionAtTop:
      newTop = row;
      break;
    case PositionAtBottom:
      newTop = row - whole + 1;
      break;
    case PositionAtCenter:
      newTop = row - whole / 2;
      break;
    case EnsureVisible:
      if (row < top) {
        newTop = row;
      } else if (row >= top + whole) {
        newTop = row - whole + 1;
      }
      break;
  }
  verticalScrollBar()->setValue(newTop);  // the scroll bar keeps it within the list

  const int left = m_header->sectionPosition(index.column());
  const int right = left + m_header->sectionSize(index.column());
  const int width = viewport()->width();
  int x = horizontalScrollBar()->value();
  if (left < x) {
    x = left;
  } else if (right > x + width) {
    x = std::min(left, right - width);
  }
  horizontalScrollBar()->setValue(x);
}

QModelIndex ColumnListView::indexAt(const QPoint& point) const {
  const int row = RowAtY(point.y());
  const int column = m_header->logicalIndexAt(point.x());
  if (row < 0 || row >= RowCount() || column < 0) return {};
  return model()->index(row, column, rootIndex());
}

QModelIndex ColumnListView::moveCursor(CursorAction action, Qt::KeyboardModifiers) {
  const int rows = RowCount();
  if (rows == 0) return {};
  const QModelIndex current = currentIndex();
  // Without a current row every key starts from the first, but End goes to the last.
  if (!current.isValid()) return model()->index(action == MoveEnd ? rows - 1 : 0, 0, rootIndex());
  int row = current.row();
  const int page = std::max(1, WholeRowsOnScreen() - 1);
  switch (action) {
    case MoveUp:
    case MovePrevious:
      --row;
      break;
    case MoveDown:
    case MoveNext:
      ++row;
      break;
    case MovePageUp:
      row -= page;
      break;
    case MovePageDown:
      row += page;
      break;
    case MoveHome:
      row = 0;
      break;
    case MoveEnd:
      row = rows - 1;
      break;
    case MoveLeft:
    case MoveRight:
      // Whole rows are selected: left and right only scroll the columns.
      horizontalScrollBar()->triggerAction(action == MoveLeft
                                               ? QAbstractSlider::SliderSingleStepSub
                                               : QAbstractSlider::SliderSingleStepAdd);
      return current;
  }
  return model()->index(std::clamp(row, 0, rows - 1), current.column(), rootIndex());
}

int ColumnListView::horizontalOffset() const {
  return m_header->offset();
}

int ColumnListView::verticalOffset() const {
  return ClampedPixels(static_cast<qint64>(TopRow()) * RowHeight());
}

void ColumnListView::setSelection(const QRect& rect, QItemSelectionModel::SelectionFlags command) {
  const int rows = RowCount();
  const int columns = model() != nullptr ? model()->columnCount(rootIndex()) : 0;
  if (rows == 0 || columns == 0 || selectionModel() == nullptr) return;
  const QRect area = rect.normalized();
  const int first = RowAtY(area.top());
  const int last = RowAtY(area.bottom());
  if (last < 0 || first >= rows) {
    // Only space without rows: a click there clears.
    if (command & QItemSelectionModel::Clear) selectionModel()->clearSelection();
    return;
  }
  // The lists select whole rows, so a rectangle selects the rows it touches.
  const QItemSelection selection(
      model()->index(std::max(first, 0), 0, rootIndex()),
      model()->index(std::min(last, rows - 1), columns - 1, rootIndex()));
  selectionModel()->select(selection, command);
}

QRegion ColumnListView::visualRegionForSelection(const QItemSelection& selection) const {
  QRegion region;
  const int top = TopRow();
  const int bottom = top + RowsOnScreen() - 1;
  const int height = RowHeight();
  for (const QItemSelectionRange& range : selection) {
    if (!range.isValid()) continue;
    const int first = std::max(range.top(), top);
    const int last = std::min(range.bottom(), bottom);
    if (first > last) continue;
    region += QRect(0, (first - top) * height, viewport()->width(), (last - first + 1) * height);
  }
  return region;
}

void ColumnListView::rowsInserted(const QModelIndex& parent, int first, int last) {
  QAbstractItemView::rowsInserted(parent, first, last);
  if (parent != rootIndex()) return;
  updateGeometries();
  // Rows added below the screen change only the scroll bar.
  if (first < TopRow() + RowsOnScreen()) viewport()->update();
}

void ColumnListView::updateGeometries() {
  // Moving the margins resizes the viewport, which comes back here.
  if (m_inGeometries) return;
  m_inGeometries = true;
  const int headerHeight = m_header->isHidden() ? 0 : m_header->sizeHint().height();
  setViewportMargins(0, headerHeight, 0, 0);
  const QRect area = viewport()->geometry();
  m_header->setGeometry(area.left(), area.top() - headerHeight, area.width(), headerHeight);

  QScrollBar* across = horizontalScrollBar();
  across->setPageStep(area.width());
  across->setSingleStep(std::max(1, fontMetrics().averageCharWidth() * 2));
  across->setRange(0, std::max(0, m_header->length() - area.width()));
  m_header->setOffset(across->value());

  // Scrolled by rows, as the Windows list view is: a position is a row number, so no length
  // in pixels is ever needed.
  QScrollBar* down = verticalScrollBar();
  down->setSingleStep(1);
  down->setPageStep(WholeRowsOnScreen());
  down->setRange(0, std::max(0, RowCount() - WholeRowsOnScreen()));

  QAbstractItemView::updateGeometries();
  m_inGeometries = false;
}

void ColumnListView::scrollContentsBy(int dx, int dy) {
  if (dx != 0) m_header->setOffset(horizontalScrollBar()->value());
  const qint64 pixels = static_cast<qint64>(dy) * RowHeight();
  if (pixels != 0 && std::abs(pixels) >= viewport()->height()) {
    viewport()->update();
  } else {
    viewport()->scroll(dx, static_cast<int>(pixels));
  }
}

void ColumnListView::paintEvent(QPaintEvent* event) {
  QPainter painter(viewport());
  const int rows = RowCount();
  if (rows == 0 || m_header->count() == 0) return;
  const int height = RowHeight();
  const int top = TopRow();
  const QRect area = event->rect();
  const int first = std::max(top, RowAtY(area.top()));
  const int last = std::min(rows - 1, RowAtY(area.bottom()));

  QStyleOptionViewItem option;
  initViewItemOption(&option);
  const bool active = (option.state & QStyle::State_Active) != 0;
  option.palette.setCurrentColorGroup(active ? QPalette::Active : QPalette::Inactive);
  const QModelIndex current = currentIndex();
  const bool focus = (hasFocus() || viewport()->hasFocus()) && current.isValid();
  const QItemSelectionModel* selection = selectionModel();
  const QModelIndex root = rootIndex();

  for (int row = first; row <= last; ++row) {
    const int y = (row - top) * height;
    bool rowSelected = false;
    for (int visual = 0; visual < m_header->count(); ++visual) {
      const int column = m_header->logicalIndex(visual);
      if (m_header->isSectionHidden(column)) continue;
      const int x = m_header->sectionViewportPosition(column);
      const int width = m_header->sectionSize(column);
      if (x + width <= area.left() || x > area.right()) continue;
      const QModelIndex index = model()->index(row, column, root);
      QStyleOptionViewItem cell = option;
      cell.rect = QRect(x, y, width, height);
      if (selection != nullptr && selection->isSelected(index)) {
        cell.state |= QStyle::State_Selected;
        rowSelected = true;
      }
      itemDelegateForIndex(index)->paint(&painter, cell, index);
    }
    if (focus && row == current.row()) {
      // One focus frame around the whole row, as the list view draws it.
      QStyleOptionFocusRect frame;
      frame.QStyleOption::operator=(option);
      frame.state |= QStyle::State_KeyboardFocusChange;
      frame.backgroundColor =
          option.palette.color(rowSelected ? QPalette::Highlight : QPalette::Base);
      frame.rect = QRect(-m_header->offset(), y, m_header->length(), height);
      style()->drawPrimitive(QStyle::PE_FrameFocusRect, &frame, &painter, this);
    }
  }
}

void ColumnListView::changeEvent(QEvent* event) {
  if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) {
    m_rowHeight = 0;
    ContentsChanged();
  }
  QAbstractItemView::changeEvent(event);
}

}  // namespace quillet
