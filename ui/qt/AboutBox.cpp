#include "ui/qt/AboutBox.h"

#include <QFile>
#include <QKeyEvent>
#include <QLabel>

#include <cstring>
#include <span>

#include "ui/Jpeg.h"
#include "ui/qt/Widgets.h"

namespace quillet {

QImage LoadAboutPicture(QString* error) {
  const layout::Control* image1 = layout::FindControl(layout::kAboutBox, "Image1");
  QFile file(QStringLiteral(":/") + ToQString(image1->Caption));
  if (!file.open(QIODevice::ReadOnly)) {
    if (error) *error = file.errorString();
    return {};
  }
  const QByteArray bytes = file.readAll();
  const DecodedJpeg decoded = DecodeJpeg(std::as_bytes(std::span(bytes.constData(), bytes.size())));
  if (!decoded.Ok()) {
    if (error) *error = QString::fromStdString(decoded.Error);
    return {};
  }
  QImage picture(decoded.Width, decoded.Height, QImage::Format_RGB888);
  const std::size_t stride = static_cast<std::size_t>(decoded.Width) * 3;
  for (int y = 0; y < decoded.Height; ++y) {
    std::memcpy(picture.scanLine(y), decoded.Rgb.data() + stride * static_cast<std::size_t>(y),
                stride);
  }
  return picture;
}

TFAboutBox::TFAboutBox(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint) {
  const layout::Window& table = layout::kAboutBox;
  setObjectName(ToQString(table.Name));
  setWindowTitle(ToQString(table.Caption));
  setFont(ToQFont(table.TextFont, font()));
  setFixedSize(table.ClientWidth, table.ClientHeight);

  m_picture = LoadAboutPicture();
  for (const layout::Control& control : table.Controls) {
    auto* label = new QLabel(this);
    label->setObjectName(ToQString(control.Name));
    label->setGeometry(ToQRect(control.Geometry));
    if (control.Kind == layout::ControlKind::Picture) {
      label->setPixmap(QPixmap::fromImage(m_picture));
      label->lower();
      continue;
    }
    label->setTextFormat(Qt::PlainText);
    label->setText(ToQString(control.Caption));
    label->setAlignment(ToQAlignment(control.Alignment));
    label->setAttribute(Qt::WA_TranslucentBackground);
    label->setAutoFillBackground(false);
    label->setStyleSheet(QStringLiteral("color: white; background: transparent;"));
    label->setFont(ToQFont(control.TextFont, font()));
  }
  CenterOnPrimaryScreen(*this);
}

void TFAboutBox::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

}  // namespace quillet
