// POSIX desktops: freedesktop.org's default applications (xdg-open), file manager interface
// (D-Bus) and trash; programs are started with an argument vector, never through a shell, so
// every byte of a path arrives.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
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

// Runs program (looked up in PATH) with the given arguments and waits for it to end. Returns its
// exit status, or -1 when it could not be started or was ended by a signal; its standard output
// goes to output.
int RunProgram(const std::string& program, const std::vector<std::string>& arguments,
               std::string& output) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& argument : arguments)
    argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  int pipe[2];
  if (::pipe2(pipe, O_CLOEXEC) != 0) return -1;
  const pid_t child = ::fork();
  if (child == 0) {
    ::dup2(pipe[1], STDOUT_FILENO);  // dup2 clears close-on-exec on the copy
    ::execvp(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(pipe[1]);
  if (child < 0) {
    ::close(pipe[0]);
    return -1;
  }
  char buffer[4096];
  for (;;) {
    const ssize_t read = ::read(pipe[0], buffer, sizeof buffer);
    if (read > 0) {
      output.append(buffer, static_cast<std::size_t>(read));
    } else if (read == 0 || errno != EINTR) {
      break;
    }
  }
  ::close(pipe[0]);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The file of a desktop entry by its desktop file id, searched as the desktop does: the
// applications folder of XDG_DATA_HOME first, then those of XDG_DATA_DIRS in order. An entry in
// a subfolder has the folders in its id, joined by '-' (vendor/app.desktop is vendor-app.desktop).
std::string DesktopEntryFile(const std::string& id) {
  std::vector<std::string> roots;
  const char* dataHome = std::getenv("XDG_DATA_HOME");
  const char* home = std::getenv("HOME");
  if (dataHome != nullptr && *dataHome == '/') {
    roots.push_back(dataHome);
  } else if (home != nullptr && *home != '\0') {
    roots.push_back(std::string(home) + "/.local/share");
  }
  const char* dataDirs = std::getenv("XDG_DATA_DIRS");
  std::string dirs =
      dataDirs != nullptr && *dataDirs != '\0' ? dataDirs : "/usr/local/share:/usr/share";
  for (std::size_t start = 0; start <= dirs.size();) {
    std::size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    if (end > start) roots.push_back(dirs.substr(start, end - start));
    start = end + 1;
  }
  namespace fs = std::filesystem;
  for (const std::string& root : roots) {
    const fs::path applications = fs::path(root) / "applications";
    std::error_code error;
    for (fs::recursive_directory_iterator it(applications, error), end; !error && it != end;
         it.increment(error)) {
      std::string relative = it->path().lexically_relative(applications).string();
      for (char& c : relative)
        if (c == '/') c = '-';
      if (relative == id) return it->path().string();
    }
  }
  return {};
}

// The file name of the program a desktop entry's Exec key starts, quoted or not; empty where
// the entry has no Exec key.
std::string ExecProgramName(const std::string& entryFile) {
  std::ifstream entry(entryFile);
  std::string line;
  bool mainGroup = false;
  while (std::getline(entry, line)) {
    if (!line.empty() && line.front() == '[') {
      mainGroup = line.rfind("[Desktop Entry]", 0) == 0;
    } else if (mainGroup && line.rfind("Exec=", 0) == 0) {
      std::string program;
      std::size_t i = 5;
      while (i < line.size() && line[i] == ' ')
        ++i;
      if (i < line.size() && line[i] == '"') {
        for (++i; i < line.size() && line[i] != '"'; ++i) {
          if (line[i] == '\\' && i + 1 < line.size()) ++i;
          program += line[i];
        }
      } else {
        for (; i < line.size() && line[i] != ' '; ++i)
          program += line[i];
      }
      return program.substr(program.rfind('/') + 1);
    }
  }
  return {};
}

// True when the desktop's default application for folders (as xdg-mime, like xdg-open, finds
// it) runs a program of this program's file name.
bool DesktopOpensFoldersWithThisProgram() {
  std::string id;
  if (RunProgram("xdg-mime", {"query", "default", "inode/directory"}, id) != 0) return false;
  while (!id.empty() && (id.back() == '\n' || id.back() == ' '))
    id.pop_back();
  if (id.empty()) return false;
  const std::string entry = DesktopEntryFile(id);
  const std::string self = ProgramPath();
  if (entry.empty() || self.empty()) return false;
  const std::string program = ExecProgramName(entry);
  return !program.empty() && program == self.substr(self.rfind('/') + 1);
}

// A file URI of an absolute path: every byte but the unreserved ones and '/' percent-encoded, so
// that any name survives, a comma too (it separates the items of dbus-send's arrays).
std::string FileUri(const std::string& path) {
  std::string uri = "file://";
  for (const unsigned char c : path) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
        c == '.' || c == '_' || c == '~' || c == '/') {
      uri += static_cast<char>(c);
    } else {
      char escaped[4];
      std::snprintf(escaped, sizeof escaped, "%%%02X", c);
      uri += escaped;
    }
  }
  return uri;
}

// Asks the session's file manager to show a folder, through the freedesktop.org file manager
// interface (D-Bus activation starts one that is installed but not running). True when it
// answered.
bool ShowFolderInFileManager(const std::string& folder) {
  std::string reply;
  return RunProgram("dbus-send",
                    {"--session", "--print-reply", "--reply-timeout=10000",
                     "--dest=org.freedesktop.FileManager1", "/org/freedesktop/FileManager1",
                     "org.freedesktop.FileManager1.ShowFolders", "array:string:" + FileUri(folder),
                     "string:"},
                    reply) == 0;
}

class PosixServices : public Services {
 public:
  Handover OpenPath(const std::string& path) override {
    // A relative row location means the folder the program was started in, as it does here.
    std::string full = path;
    if (!full.empty() && full.front() != '/') {
      if (char* here = ::getcwd(nullptr, 0)) {
        full = std::string(here) + "/" + full;
        std::free(here);
      }
    }
    // xdg-open would start this program again on the folder, and that one would do the same.
    struct stat st {};
    if (::stat(full.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
        DesktopOpensFoldersWithThisProgram())
      return ShowFolderInFileManager(full) ? Handover::Done : Handover::NoFileManager;
    return StartProgram("xdg-open", {full}) ? Handover::Done : Handover::Failed;
  }

  Handover StartFileManager() override {
    const char* home = std::getenv("HOME");
    return OpenPath(home != nullptr && *home != '\0' ? home : "/");
  }

  bool StartInstance(const std::vector<std::string>& options, const std::string& folder) override {
    const std::string program = ProgramPath();
    std::vector<std::string> arguments = options;
    arguments.push_back(folder);
    return !program.empty() && StartProgram(program, arguments);
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
