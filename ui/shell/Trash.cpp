// Implements the freedesktop.org Trash standard 1.0 for the items the user deletes.
#include "ui/shell/Trash.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string_view>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillet::shell {
namespace {

namespace fs = std::filesystem;

// Closes a descriptor on every way out.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : m_fd(fd) {}
  ~FileDescriptor() {
    if (m_fd >= 0) ::close(m_fd);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int Get() const { return m_fd; }
  // Closes now and reports whether the close (the final write) succeeded.
  bool Close() {
    const int fd = m_fd;
    m_fd = -1;
    return fd < 0 || ::close(fd) == 0;
  }

 private:
  int m_fd;
};

std::string ErrnoText(int error) {
  return std::strerror(error);
}

// The Path= value: the path percent-encoded as a URL path (RFC 2396 unreserved bytes and '/').
std::string EncodePath(const std::string& path) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const unsigned char c : path) {
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                       std::strchr("-_.!~*'()/", c) != nullptr;
    if (plain && c != '\0') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

std::string DeletionDate() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
  return text;
}

// A folder, made when missing; one that exists must be a folder itself, or with follow a link
// to one.
bool MakeFolder(const fs::path& folder, mode_t mode, bool follow = false) {
  if (::mkdir(folder.c_str(), mode) == 0) return true;
  struct stat st {};
  if (errno != EEXIST) return false;
  const int found = follow ? ::stat(folder.c_str(), &st) : ::lstat(folder.c_str(), &st);
  return found == 0 && S_ISDIR(st.st_mode);
}

// A trash folder with its files/ and info/ folders, created when missing (mode 0700). With
// follow the trash folder itself may be a link to a folder, as the home trash may be.
bool PrepareTrash(const fs::path& trash, bool follow = false) {
  return MakeFolder(trash, 0700, follow) && MakeFolder(trash / "files", 0700) &&
         MakeFolder(trash / "info", 0700);
}

std::optional<dev_t> DeviceOf(const fs::path& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return std::nullopt;
  return st.st_dev;
}

fs::path HomeTrash() {
  const char* dataHome = std::getenv("XDG_DATA_HOME");
  if (dataHome != nullptr && dataHome[0] == '/') return fs::path(dataHome) / "Trash";
  const char* home = std::getenv("HOME");
  return fs::path(home != nullptr ? home : "/") / ".local/share/Trash";
}

// The home trash with the folders above it: a fresh home has no ~/.local/share yet, and that
// must not send its items to the trash of the file system's top folder instead.
bool PrepareHomeTrash(const fs::path& trash) {
  fs::path made;
  for (const fs::path& part : trash.parent_path()) {
    made /= part;
    if (made == made.root_path()) continue;
    if (!MakeFolder(made, 0700)) {
      // A component that is a link to a folder is the user's choice of where data lives.
      struct stat st {};
      if (::stat(made.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
    }
  }
  // So may the trash itself be: only a top folder's shared .Trash must be no link.
  return PrepareTrash(trash, true);
}

// The top folder of the file system that holds item: the last ancestor on the same device.
// None when item is itself a mount point, the top of a file system no trash on it can take.
std::optional<fs::path> TopFolderOf(const fs::path& item, dev_t device) {
  fs::path top = item.parent_path();
  if (DeviceOf(top) != device) return std::nullopt;
  while (top.has_relative_path()) {
    const fs::path up = top.parent_path();
    const std::optional<dev_t> upDevice = DeviceOf(up);
    if (!upDevice || *upDevice != device) break;
    top = up;
  }
  return top;
}

// A trash folder on device: an existing one elsewhere (a mount or a link inside top) is not
// taken, and nothing is made before that is known.
bool PrepareTrashOn(const fs::path& trash, dev_t device) {
  struct stat st {};
  if (::lstat(trash.c_str(), &st) == 0 && st.st_dev != device) return false;
  return PrepareTrash(trash);
}

// The trash of the file system with top folder top: $top/.Trash/$uid when the administrator
// made $top/.Trash a sticky folder that is no link, otherwise $top/.Trash-$uid.
std::optional<fs::path> TopFolderTrash(const fs::path& top, dev_t device) {
  const std::string uid = std::to_string(::getuid());
  struct stat st {};
  const fs::path shared = top / ".Trash";
  if (::lstat(shared.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX) != 0 &&
      st.st_dev == device) {
    const fs::path mine = shared / uid;
    if (PrepareTrashOn(mine, device)) return mine;
  }
  const fs::path own = top / (".Trash-" + uid);
  if (PrepareTrashOn(own, device)) return own;
  return std::nullopt;
}

// Whether the home trash may take an item of device: one that exists is tried (a rename tells),
// a missing one is made only on the item's file system, found at its nearest existing folder.
bool HomeTrashMayTake(const fs::path& trash, dev_t device) {
  struct stat st {};
  if (::stat(trash.c_str(), &st) == 0) return true;
  for (fs::path folder = trash.parent_path(); folder.has_relative_path();
       folder = folder.parent_path()) {
    if (::stat(folder.c_str(), &st) == 0) return st.st_dev == device;
  }
  return ::stat("/", &st) == 0 && st.st_dev == device;
}

// Moves item into trash under a name no other trashed item has. pathInInfo is what the
// record's Path= says. Returns the trashed path, or an error text with nothing changed;
// otherFileSystem tells that the trash lies on another file system than item.
TrashOutcome MoveInto(const fs::path& trash, const fs::path& item, const std::string& pathInInfo,
                      bool& otherFileSystem) {
  TrashOutcome outcome;
  otherFileSystem = false;
  const std::string name = item.filename().string();
  const std::string record =
      "[Trash Info]\nPath=" + EncodePath(pathInInfo) + "\nDeletionDate=" + DeletionDate() + "\n";
  for (int attempt = 1; attempt < 10000; ++attempt) {
    const std::string trashName = attempt == 1 ? name : name + "." + std::to_string(attempt);
    const fs::path info = trash / "info" / (trashName + ".trashinfo");
    const fs::path target = trash / "files" / trashName;
    // The record is created exclusively first: it reserves the name against other programs.
    FileDescriptor fd(::open(info.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (fd.Get() < 0) {
      if (errno == EEXIST) continue;
      outcome.Error = "ゴミ箱の記録 " + info.string() + " を書き込めません: " + ErrnoText(errno);
      return outcome;
    }
    const bool written =
        ::write(fd.Get(), record.data(), record.size()) == static_cast<ssize_t>(record.size());
    if (!fd.Close() || !written) {
      const int error = errno;
      ::unlink(info.c_str());
      outcome.Error = "ゴミ箱の記録 " + info.string() + " を書き込めません: " + ErrnoText(error);
      return outcome;
    }
    struct stat st {};
    if (::lstat(target.c_str(), &st) == 0) {
      // A stray file without a record holds this name; keep our record apart from it.
      ::unlink(info.c_str());
      continue;
    }
    if (::rename(item.c_str(), target.c_str()) != 0) {
      const int error = errno;
      ::unlink(info.c_str());
      outcome.Error = ErrnoText(error);
      otherFileSystem = error == EXDEV;
      return outcome;
    }
    outcome.Trashed = true;
    outcome.TrashedAs = target.string();
    return outcome;
  }
  outcome.Error = "ゴミ箱に同じ名前 (" + name + ") の項目が多すぎます";
  return outcome;
}

}  // namespace

// The refusal's line already names the item: the reason does not repeat it.
constexpr std::string_view kNoTrashThere = "このファイルシステムにはゴミ箱がありません";

TrashOutcome MoveToTrash(const std::string& path) {
  TrashOutcome outcome;
  std::error_code ec;
  // The item itself, not what a link points to; "." and ".." would name other folders.
  fs::path item = fs::absolute(fs::path(path), ec);
  if (ec || path.empty()) {
    outcome.Error = "使えないパスです";
    return outcome;
  }
  item = item.lexically_normal();
  if (item.has_filename() == false && item.has_parent_path()) item = item.parent_path();
  if (item.filename().empty() || item.filename() == "." || item.filename() == ".." ||
      item == item.root_path()) {
    outcome.Error = "ファイルシステムのルートはゴミ箱へ移動できません";
    return outcome;
  }
  // Where the item really lies: the links above it resolved (the item itself is moved as it
  // is), so that its file system's top folder and the record's Path= are found from there.
  char* parent = ::realpath(item.parent_path().c_str(), nullptr);
  if (parent == nullptr) {
    outcome.Error = ErrnoText(errno);
    return outcome;
  }
  item = fs::path(parent) / item.filename();
  std::free(parent);
  const std::optional<dev_t> device = DeviceOf(item);
  if (!device) {
    outcome.Error = ErrnoText(errno);
    return outcome;
  }

  bool otherFileSystem = false;
  const fs::path home = HomeTrash();
  if (HomeTrashMayTake(home, *device) && PrepareHomeTrash(home)) {
    outcome = MoveInto(home, item, item.string(), otherFileSystem);
    if (!otherFileSystem) return outcome;
  }

  // Another file system: its own trash, where Path= is relative to its top folder.
  const std::optional<fs::path> top = TopFolderOf(item, *device);
  const std::optional<fs::path> trash = top ? TopFolderTrash(*top, *device) : std::nullopt;
  if (!trash) {
    outcome.Trashed = false;
    outcome.Error = kNoTrashThere;
    return outcome;
  }
  outcome = MoveInto(*trash, item, item.lexically_relative(*top).string(), otherFileSystem);
  if (otherFileSystem) outcome.Error = kNoTrashThere;
  return outcome;
}

}  // namespace quillet::shell
