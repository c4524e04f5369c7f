// The treemap pane: the command layer's picture of the file list at the widget's size in device
// pixels, the selected file's outline, and the mouse and keys routed to the command layer.
#pragma once

#include <QWidget>

#include "ui/Commands.h"

namespace quillet {

class TreemapView : public QWidget {
  Q_OBJECT
 public:
  TreemapView(MainCommands& commands, QWidget* parent);

  // The point of the picture under a widget position: device pixels, as the layout counts them.
  QPoint PicturePoint(const QPoint& position) const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool event(QEvent* event) override;

 private:
  MainCommands& m_commands;
};

}  // namespace quillet
