// The shell services of the Linux program: the deletion question and the trash, the desktop's
// default applications, and starting a second instance.
#pragma once

#include <QString>

#include <functional>
#include <string>
#include <vector>

#include "lists/Frontend.h"

class QWidget;

namespace quillet {

// Asks a yes/no question; true for Yes.
using YesNoAsker = std::function<bool(const QString& text, const QString& caption)>;
// Tells the user what the trash refused.
using FailureNotifier = std::function<void(const QString& text)>;

class QtShell : public Shell {
 public:
  explicit QtShell(QWidget* owner);

  bool AskYesNo(std::string_view text, std::string_view caption) override;
  // Moves each path to the trash; the paths it could not move stay untouched and are listed in
  // one message, as a desktop's own trash would report them.
  void DeleteReversibly(const std::vector<std::string>& paths) override;

  void SetAsker(YesNoAsker asker) { m_asker = std::move(asker); }
  void SetNotifier(FailureNotifier notifier) { m_notifier = std::move(notifier); }

 private:
  QWidget* m_owner;
  YesNoAsker m_asker;
  FailureNotifier m_notifier;
};

// What the main window starts outside itself; tests record the calls instead. Paths are the file
// system's bytes as the rows hold them, so a name that is not valid UTF-8 (an old archive's
// Shift-JIS names, say) still reaches the file manager or the new instance unchanged.
class Desktop {
 public:
  virtual ~Desktop() = default;
  // Opens a file or folder with the desktop's default application.
  virtual bool OpenPath(const std::string& path) = 0;
  // Starts program (looked up in PATH when it has no slash) with the given arguments, detached,
  // without a shell in between.
  virtual bool StartProgram(const std::string& program,
                            const std::vector<std::string>& arguments) = 0;
};

class SystemDesktop : public Desktop {
 public:
  bool OpenPath(const std::string& path) override;
  // True when the program could be started; a program that cannot be executed is not seen here.
  bool StartProgram(const std::string& program, const std::vector<std::string>& arguments) override;
};

}  // namespace quillet
