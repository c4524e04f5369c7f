// The application object: runs the message loop and reports failures that escape a handler.
#pragma once

#include <QApplication>

#include <exception>
#include <functional>

namespace quillet {

class Application : public QApplication {
 public:
  Application(int& argc, char** argv);
  // Delivers an event; a failure escaping its handler is shown and the loop goes on.
  bool notify(QObject* receiver, QEvent* event) override;
};

// Shows a failure that ended a handler: a message box titled "Quillet" with the error icon.
// Tests replace it to see the message without a modal box.
using FailureReporter = std::function<void(const QString& message)>;
void SetFailureReporter(FailureReporter reporter);
void ReportFailure(const std::exception_ptr& failure);

// Runs handler; a failure escaping it is reported after the handler's own clean-up has run.
template <class Handler>
void RunGuarded(Handler&& handler) {
  try {
    handler();
  } catch (...) {
    ReportFailure(std::current_exception());
  }
}

}  // namespace quillet
