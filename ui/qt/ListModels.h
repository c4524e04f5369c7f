// The Qt item model over one list of the row model: a thin, virtual adapter (no item per row).
#pragma once

#include <QAbstractTableModel>
#include <QIcon>

#include <span>
#include <vector>

#include "lists/Lists.h"
#include "ui/Layouts.h"

namespace quillet {

class ListModelAdapter : public QAbstractTableModel {
  Q_OBJECT
 public:
  ListModelAdapter(const ListsModel& model, ListKind list, std::span<const layout::Column> columns,
                   const std::vector<QIcon>& images, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  // The row model's change brackets, forwarded to the views.
  void BeginReset() { beginResetModel(); }
  void EndReset() { endResetModel(); }
  void BeginAppend(std::size_t first, std::size_t count);
  void EndAppend();
  void BeginRemove(std::size_t first, std::size_t count);
  void EndRemove();
  void RowChanged(std::size_t index);

 private:
  const ListsModel& m_model;
  ListKind m_list;
  std::span<const layout::Column> m_columns;
  const std::vector<QIcon>& m_images;
  bool m_emptyChange = false;  // a Begin with no rows: Qt must not see it
};

}  // namespace quillet
