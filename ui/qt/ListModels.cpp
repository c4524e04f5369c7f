#include "ui/qt/ListModels.h"

#include "ui/Commands.h"

#include "ui/qt/Widgets.h"

namespace quillet {

ListModelAdapter::ListModelAdapter(const ListsModel& model, ListKind list,
                                   std::span<const layout::Column> columns,
                                   const std::vector<QIcon>& images, QObject* parent)
    : QAbstractTableModel(parent),
      m_model(model),
      m_list(list),
      m_columns(columns),
      m_images(images) {}

int ListModelAdapter::rowCount(const QModelIndex& parent) const {
  if (parent.isValid()) return 0;
  return static_cast<int>(m_model.RowCount(m_list));
}

int ListModelAdapter::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(m_columns.size());
}

QVariant ListModelAdapter::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || static_cast<std::size_t>(index.row()) >= m_model.RowCount(m_list)) {
    return {};
  }
  const auto row = static_cast<std::size_t>(index.row());
  switch (role) {
    case Qt::DisplayRole:
      return ToQString(m_model.CellText(m_list, row, index.column()));
    case Qt::DecorationRole: {
      if (index.column() != 0) return {};
      const int image = m_model.ImageIndex(m_list, row);
      if (image < 0 || static_cast<std::size_t>(image) >= m_images.size()) return {};
      return m_images[static_cast<std::size_t>(image)];
    }
    case Qt::ToolTipRole: {
      const std::string tip = RowToolTip(m_model, m_list, row);
      if (tip.empty()) return {};
      return ToQString(tip);
    }
    case Qt::TextAlignmentRole:
      return static_cast<int>(
          ToQAlignment(m_columns[static_cast<std::size_t>(index.column())].Alignment));
    default:
      return {};
  }
}

QVariant ListModelAdapter::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 ||
      static_cast<std::size_t>(section) >= m_columns.size()) {
    return {};
  }
  const layout::Column& column = m_columns[static_cast<std::size_t>(section)];
  if (role == Qt::DisplayRole) return ToQString(column.Caption);
  if (role == Qt::TextAlignmentRole) return static_cast<int>(ToQAlignment(column.Alignment));
  return {};
}

void ListModelAdapter::BeginAppend(std::size_t first, std::size_t count) {
  m_emptyChange = count == 0;
  if (!m_emptyChange) {
    beginInsertRows({}, static_cast<int>(first), static_cast<int>(first + count - 1));
  }
}

void ListModelAdapter::EndAppend() {
  if (!m_emptyChange) endInsertRows();
  m_emptyChange = false;
}

void ListModelAdapter::BeginRemove(std::size_t first, std::size_t count) {
  m_emptyChange = count == 0;
  if (!m_emptyChange) {
    beginRemoveRows({}, static_cast<int>(first), static_cast<int>(first + count - 1));
  }
}

void ListModelAdapter::EndRemove() {
  if (!m_emptyChange) endRemoveRows();
  m_emptyChange = false;
}

void ListModelAdapter::RowChanged(std::size_t index) {
  const int row = static_cast<int>(index);
  emit dataChanged(this->index(row, 0), this->index(row, columnCount() - 1));
}

}  // namespace quillet
