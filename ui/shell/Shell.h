// The shell services of both windowed programs, without a toolkit: opening a path with its
// default action, starting the file manager and a second instance of this program, and the
// reversible delete. One implementation per platform file (posix.cpp: the desktop's default
// applications and the freedesktop.org trash; win32.cpp: ShellExecute, CreateProcess and the
// recycle bin). Paths are the rows' bytes; tests give a program a recording implementation.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace quillet::shell {

// What became of a request to open a path or start the file manager.
enum class Handover {
  Done,    // the desktop or the shell took it
  Failed,  // it could not be handed over; the shell tells the user itself, or nothing is told
  // A folder that the desktop would open with this very program, and no file manager answered
  // in its place: nothing was started, and only the program can tell the user.
  NoFileManager,
};

class Services {
 public:
  virtual ~Services() = default;
  // Opens a file or folder with its default action. A folder never goes to this program itself:
  // where a POSIX desktop names it as the folder opener, the file manager is asked directly.
  virtual Handover OpenPath(const std::string& path) = 0;
  // Starts the file manager ("explorer.exe" on Windows; the home folder elsewhere).
  virtual Handover StartFileManager() = 0;
  // Starts this program again with folder as its first argument, whatever blanks either holds.
  // options: the arguments before folder (lists/CommandLine.h OptionArguments).
  virtual bool StartInstance(const std::vector<std::string>& options,
                             const std::string& folder) = 0;
  // Moves the paths, in this order, to the recycle bin or trash, with the platform's own
  // confirmation and messages where it has them. Returns one line "path: reason" for each item
  // that stayed where it was and that the platform itself told the user nothing about.
  virtual std::vector<std::string> DeleteReversibly(const std::vector<std::string>& paths) = 0;
};

// The platform's own shell; owner is the main window's native handle (HWND), or null.
std::unique_ptr<Services> MakeSystemServices(void* owner);

// The shell's source list: each path followed by one NUL, and one more NUL at the end.
std::string MakeShellPathList(const std::vector<std::string>& paths);

}  // namespace quillet::shell
