// POSIX desktops: freedesktop.org's default applications (xdg-open) and trash; programs are
// started with an argument vector, never through a shell, so every byte of a path arrives.
#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include "ui/shell/Posix.h"
#include "ui/shell/Shell.h"
#include "ui/shell/Trash.h"

namespace quillet::shell {

bool StartProgram(const std::string& program, const std::vector<std::string>& arguments) {
  // The argument vector is built before the fork: the child may only make async-signal-safe calls.
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& argument : arguments)
    argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  const pid_t child = ::fork();
  if (child < 0) return false;
  if (child == 0) {
    // A grandchild in a session of its own, adopted by init: it outlives this program and never
    // stays behind as a zombie of it.
    ::setsid();
    const pid_t grandchild = ::fork();
    if (grandchild == 0) {
      ::execvp(argv[0], argv.data());
      ::_exit(127);
    }
    ::_exit(grandchild < 0 ? 1 : 0);
  }
  int status = 0;
  while (::waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) return false;
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string ProgramPath() {
  std::string path(256, '\0');
  for (;;) {
    const ssize_t length = ::readlink("/proc/self/exe", path.data(), path.size());
    if (length < 0) return {};
    if (static_cast<std::size_t>(length) < path.size()) {
      path.resize(static_cast<std::size_t>(length));
      return path;
    }
    path.resize(path.size() * 2);
  }
}

namespace {

class PosixServices : public Services {
 public:
  bool OpenPath(const std::string& path) override {
    // A relative row location means the folder the program was started in, as it does here.
    std::string full = path;
    if (!full.empty() && full.front() != '/') {
      if (char* here = ::getcwd(nullptr, 0)) {
        full = std::string(here) + "/" + full;
        std::free(here);
      }
    }
    return StartProgram("xdg-open", {full});
  }

  bool StartFileManager() override {
    const char* home = std::getenv("HOME");
    return OpenPath(home != nullptr && *home != '\0' ? home : "/");
  }

  bool StartInstance(const std::string& folder) override {
    const std::string program = ProgramPath();
    return !program.empty() && StartProgram(program, {folder});
  }

  std::vector<std::string> DeleteReversibly(const std::vector<std::string>& paths) override {
    // No desktop trash dialog reports a refusal here, so the program lists them itself.
    std::vector<std::string> refused;
    for (const std::string& path : paths) {
      const TrashOutcome outcome = MoveToTrash(path);
      if (!outcome.Trashed) refused.push_back(path + ": " + outcome.Error);
    }
    return refused;
  }
};

}  // namespace

std::unique_ptr<Services> MakeSystemServices(void*) {
  return std::make_unique<PosixServices>();
}

}  // namespace quillet::shell
