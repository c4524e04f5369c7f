#include "ui/qt/Application.h"

#include <QLibraryInfo>
#include <QMessageBox>
#include <QTranslator>
#include <QProxyStyle>

#include "ui/ExceptionText.h"
#include "ui/Layouts.h"
#include "ui/qt/Widgets.h"

namespace quillet {
namespace {

FailureReporter& Reporter() {
  static FailureReporter reporter;
  return reporter;
}

// The desktop's style, except that Alt alone always enters the menu, as the menu tool bar needs.
class MenuKeyStyle : public QProxyStyle {
 public:
  int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                QStyleHintReturn* returnData) const override {
    if (hint == SH_MenuBar_AltKeyNavigation) return 1;
    return QProxyStyle::styleHint(hint, option, widget, returnData);
  }
};

}  // namespace

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {
  setStyle(new MenuKeyStyle);  // the application takes ownership
  // The application title. No display name: Qt would append it to every window caption.
  setApplicationName(QStringLiteral("Quillet"));
  setDesktopFileName(QStringLiteral("quillet"));
  // The program speaks Japanese: Qt's own buttons and texts too (はい, いいえ), whatever the
  // desktop's language. Without the translations installed they stay as Qt writes them.
  auto* translator = new QTranslator(this);
  if (translator->load(QStringLiteral("qtbase_ja"),
                       QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    installTranslator(translator);
  }
}

bool Application::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (...) {
    ReportFailure(std::current_exception());
    return false;
  }
}

void SetFailureReporter(FailureReporter reporter) {
  Reporter() = std::move(reporter);
}

void ReportFailure(const std::exception_ptr& failure) {
  const QString message = ToQString(ExceptionText(failure));
  if (Reporter()) {
    Reporter()(message);
    return;
  }
  QMessageBox box(QMessageBox::Critical, ToQString(layout::kMainWindow.Caption), message,
                  QMessageBox::Ok);
  box.exec();
}

}  // namespace quillet
