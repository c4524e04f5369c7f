// The version dialog: the About picture with white text lines over it.
#pragma once

#include <QDialog>
#include <QImage>

namespace quillet {

class TFAboutBox : public QDialog {
  Q_OBJECT
 public:
  explicit TFAboutBox(QWidget* parent = nullptr);

  // The picture as decoded; null when the embedded JPEG could not be decoded.
  const QImage& Picture() const { return m_picture; }

 protected:
  // Only the close box closes the dialog; Esc does nothing.
  void keyPressEvent(QKeyEvent* event) override;

 private:
  QImage m_picture;
};

// The embedded About picture decoded with libjpeg; a null image (and a message in error) when the
// data is damaged.
QImage LoadAboutPicture(QString* error = nullptr);

}  // namespace quillet
