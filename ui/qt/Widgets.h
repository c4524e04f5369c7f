// Small pieces every window of the Linux program builds its controls with.
#pragma once

#include <QFont>
#include <QRect>
#include <QString>
#include <QWidget>

#include <string_view>

#include "ui/Layouts.h"

namespace quillet {

inline QString ToQString(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

inline QRect ToQRect(const layout::Rect& r) {
  return {r.Left, r.Top, r.Width, r.Height};
}

// The table's font, with CJK fallbacks for faces this desktop does not have. A negative height
// is a pixel height.
QFont ToQFont(const layout::Font& font, const QFont& base);

Qt::Alignment ToQAlignment(layout::Align align);

// Moves window so that it stands in the middle of the primary screen's free area.
void CenterOnPrimaryScreen(QWidget& window);

// A one-line label that draws its text as it stands: "&" stays, a newline is a blank, and a text
// too long for the label is cut at its right edge with no ellipsis.
class OneLineLabel : public QWidget {
  Q_OBJECT
 public:
  explicit OneLineLabel(QWidget* parent = nullptr);
  void setText(const QString& text);
  QString text() const { return m_text; }
  void setAlignment(Qt::Alignment alignment);
  void setTextColor(const QColor& color);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString m_text;
  Qt::Alignment m_alignment = Qt::AlignLeft | Qt::AlignVCenter;
  QColor m_color;
};

}  // namespace quillet
