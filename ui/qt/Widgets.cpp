#include "ui/qt/Widgets.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

namespace quillet {

QFont ToQFont(const layout::Font& font, const QFont& base) {
  QFont result = base;
  if (!font.Face.empty()) {
    result.setFamilies({ToQString(font.Face), QStringLiteral("Noto Sans CJK JP"),
                        QStringLiteral("IPAPGothic"), QStringLiteral("sans-serif")});
  }
  if (font.Height < 0) result.setPixelSize(-font.Height);
  return result;
}

Qt::Alignment ToQAlignment(layout::Align align) {
  switch (align) {
    case layout::Align::Right:
      return Qt::AlignRight | Qt::AlignVCenter;
    case layout::Align::Center:
      return Qt::AlignHCenter | Qt::AlignVCenter;
    case layout::Align::Left:
      break;
  }
  return Qt::AlignLeft | Qt::AlignVCenter;
}

void CenterOnPrimaryScreen(QWidget& window) {
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect frame = window.geometry();
    frame.moveCenter(screen->availableGeometry().center());
    window.move(frame.topLeft());
  }
}

OneLineLabel::OneLineLabel(QWidget* parent) : QWidget(parent) {}

void OneLineLabel::setText(const QString& text) {
  if (text == m_text) return;
  m_text = text;
  update();
}

void OneLineLabel::setAlignment(Qt::Alignment alignment) {
  m_alignment = alignment;
  update();
}

void OneLineLabel::setTextColor(const QColor& color) {
  m_color = color;
  update();
}

void OneLineLabel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setClipRect(rect());
  painter.setPen(m_color.isValid() ? m_color : palette().color(QPalette::WindowText));
  // No Qt::TextShowMnemonic and no elision: the text is drawn literally and simply clipped.
  painter.drawText(rect(), static_cast<int>(m_alignment) | Qt::TextSingleLine, m_text);
}

}  // namespace quillet
