#include "ui/qt/TreemapView.h"

#include <QHelpEvent>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

#include <cmath>

#include "ui/qt/Application.h"
#include "ui/qt/Widgets.h"

namespace quillet {

TreemapView::TreemapView(MainCommands& commands, QWidget* parent)
    : QWidget(parent), m_commands(commands) {
  setFocusPolicy(Qt::StrongFocus);
  setMouseTracking(true);
  // The picture covers every pixel: nothing to erase first.
  setAttribute(Qt::WA_OpaquePaintEvent);
}

QPoint TreemapView::PicturePoint(const QPoint& position) const {
  const qreal ratio = devicePixelRatioF();
  return {static_cast<int>(std::floor(position.x() * ratio)),
          static_cast<int>(std::floor(position.y() * ratio))};
}

void TreemapView::paintEvent(QPaintEvent*) {
  const qreal ratio = devicePixelRatioF();
  const int width = static_cast<int>(std::lround(this->width() * ratio));
  const int height = static_cast<int>(std::lround(this->height() * ratio));
  TreemapPane& pane = m_commands.Treemap();
  std::span<const std::uint32_t> pixels;
  RunGuarded([&] { pixels = pane.Picture(width, height); });
  QPainter painter(this);
  if (pixels.size() < static_cast<std::size_t>(pane.Width()) * pane.Height() || pane.Width() == 0 ||
      pane.Height() == 0) {
    painter.fillRect(rect(), Qt::white);
    return;
  }
  // 0xFFRRGGBB words are what a 32-bit RGB image holds: no copy.
  QImage image(reinterpret_cast<const uchar*>(pixels.data()), pane.Width(), pane.Height(),
               pane.Width() * 4, QImage::Format_RGB32);
  image.setDevicePixelRatio(ratio);
  painter.drawImage(QPointF(0, 0), image);
  if (const auto outline = pane.Outline()) {
    // A white frame inside a black one shows on every colour and on a one-pixel tile.
    painter.scale(1 / ratio, 1 / ratio);
    const QRect tile(outline->X, outline->Y, outline->Width, outline->Height);
    painter.setPen(QPen(Qt::black, 1));
    painter.drawRect(tile.adjusted(-1, -1, 0, 0));
    painter.setPen(QPen(Qt::white, 1));
    if (tile.width() > 2 && tile.height() > 2) painter.drawRect(tile.adjusted(0, 0, -1, -1));
  }
}

void TreemapView::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
  setFocus(Qt::MouseFocusReason);
  const QPoint at = PicturePoint(event->position().toPoint());
  RunGuarded([&] { m_commands.TreemapClick(at.x(), at.y()); });
}

void TreemapView::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return QWidget::mouseDoubleClickEvent(event);
  const QPoint at = PicturePoint(event->position().toPoint());
  RunGuarded([&] { m_commands.TreemapDoubleClick(at.x(), at.y()); });
}

void TreemapView::mouseMoveEvent(QMouseEvent* event) {
  // A tip already shown follows the pointer from file to file.
  if (QToolTip::isVisible()) {
    const QPoint at = PicturePoint(event->position().toPoint());
    const QString text = ToQString(m_commands.Treemap().HoverText(at.x(), at.y()));
    if (text.isEmpty()) {
      QToolTip::hideText();
    } else {
      QToolTip::showText(event->globalPosition().toPoint(), text, this);
    }
  }
  QWidget::mouseMoveEvent(event);
}

void TreemapView::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    RunGuarded([&] { m_commands.TreemapEnter(); });
    return;
  }
  QWidget::keyPressEvent(event);
}

bool TreemapView::event(QEvent* event) {
  if (event->type() == QEvent::ToolTip) {
    const auto* help = static_cast<QHelpEvent*>(event);
    const QPoint at = PicturePoint(help->pos());
    const QString text = ToQString(m_commands.Treemap().HoverText(at.x(), at.y()));
    if (text.isEmpty()) {
      QToolTip::hideText();
    } else {
      QToolTip::showText(help->globalPos(), text, this);
    }
    return true;
  }
  return QWidget::event(event);
}

}  // namespace quillet
