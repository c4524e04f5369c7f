// Linux: directory file descriptors, getdents64 and the *at calls; nothing else may live here.
#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <linux/openat2.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <fstream>
#include <sstream>

#include "scan/platform/Platform.h"
#include "scan/platform/System.h"

namespace quillet::platform {

Outcome Outcome::Last() {
  const int error = errno;
  return Outcome(static_cast<std::uint32_t>(error != 0 ? error : EIO));
}

bool Outcome::Gone() const {
  return m_code == ENOENT || m_code == ENOTDIR;
}

std::string Outcome::Text() const {
  return std::strerror(static_cast<int>(m_code));
}

ReadableFile::ReadableFile(const std::string& path) {
  if (path == "-") {
    m_handle = STDIN_FILENO;
    return;
  }
  m_handle = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  m_owned = m_handle >= 0;
  if (m_handle < 0) m_opened = Outcome::Last();
}

ReadableFile::~ReadableFile() {
  if (m_owned) ::close(static_cast<int>(m_handle));
}

Result<std::size_t> ReadableFile::Read(char* buffer, std::size_t size) {
  if (!m_opened.Ok()) return m_opened;
  for (;;) {
    const ssize_t got = ::read(static_cast<int>(m_handle), buffer, size);
    if (got >= 0) return static_cast<std::size_t>(got);
    if (errno != EINTR) return Outcome::Last();
  }
}

const Outcome system::kDenied(EACCES);
const Outcome system::kNotFound(ENOENT);

namespace {

class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) : m_fd(fd) {}
  Fd(Fd&& other) noexcept : m_fd(other.Release()) {}
  Fd& operator=(Fd&& other) noexcept {
    Reset(other.Release());
    return *this;
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() { Reset(); }

  int Get() const { return m_fd; }
  bool Valid() const { return m_fd >= 0; }
  int Release() {
    const int fd = m_fd;
    m_fd = -1;
    return fd;
  }
  void Reset(int fd = -1) {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = fd;
  }

 private:
  int m_fd = -1;
};

// A path split so that its last part can be reached with an *at call even when the whole is
// longer than PATH_MAX: Dir is the folder the rest is relative to (AT_FDCWD for a short path).
struct Located {
  Fd Holder;
  std::string Rest;
  Outcome Error;
  int Dir() const { return Holder.Valid() ? Holder.Get() : AT_FDCWD; }
};

Located Locate(const std::string& path) {
  Located located;
  std::string_view rest = path;
  while (rest.size() >= PATH_MAX) {
    // Split at the last separator that keeps the head short enough to open.
    const auto cut = rest.substr(0, PATH_MAX - 1).rfind('/');
    if (cut == std::string_view::npos) {
      located.Error = Outcome(ENAMETOOLONG);
      return located;
    }
    const std::string head = cut == 0 ? std::string("/") : std::string(rest.substr(0, cut));
    const int fd = ::openat(located.Dir(), head.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
      located.Error = Outcome::Last();
      return located;
    }
    located.Holder.Reset(fd);
    rest.remove_prefix(cut + 1);
    // The rest of a run of separators would make the remainder absolute, bypassing Holder.
    while (!rest.empty() && rest.front() == '/')
      rest.remove_prefix(1);
  }
  located.Rest.assign(rest.empty() ? std::string_view(".") : rest);
  return located;
}

Outcome LStat(const std::string& path, struct stat& status) {
  const Located at = Locate(path);
  if (!at.Error.Ok()) return at.Error;
  if (::fstatat(at.Dir(), at.Rest.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
    return Outcome::Last();
  }
  return {};
}

Outcome OpenFolderPath(const std::string& path, int flags, Fd& into) {
  const Located at = Locate(path);
  if (!at.Error.Ok()) return at.Error;
  into.Reset(::openat(at.Dir(), at.Rest.c_str(), flags | O_DIRECTORY | O_CLOEXEC));
  return into.Valid() ? Outcome() : Outcome::Last();
}

// The file system type of a mount, from the kernel's mount table, for the types whose statfs
// magic they share with ordinary ones.
std::string MountTypeOf(dev_t device) {
  std::ifstream table("/proc/self/mountinfo");
  const std::string wanted = std::to_string(major(device)) + ":" + std::to_string(minor(device));
  std::string line;
  while (std::getline(table, line)) {
    std::istringstream fields(line);
    std::string id, parent, numbers, field;
    fields >> id >> parent >> numbers;
    if (numbers != wanted) continue;
    while (fields >> field && field != "-") {
    }
    std::string type;
    fields >> type;
    return type;
  }
  return {};
}

// File systems whose entries are kernel objects rather than stored data. seen caches, per device,
// what the mount table said.
bool IsPseudo(const struct statfs& fs, dev_t device,
              std::vector<std::pair<dev_t, bool>>* seen = nullptr) {
  switch (static_cast<unsigned long>(fs.f_type)) {
    case PROC_SUPER_MAGIC:
    case SYSFS_MAGIC:
    case CGROUP_SUPER_MAGIC:
    case CGROUP2_SUPER_MAGIC:
    case DEBUGFS_MAGIC:
    case TRACEFS_MAGIC:
    case SECURITYFS_MAGIC:
    case PSTOREFS_MAGIC:
    case BPF_FS_MAGIC:
    case 0x62656570UL:  // configfs
    case 0x65735543UL:  // fusectl
    case 0x19800202UL:  // mqueue
    case HUGETLBFS_MAGIC:
    case DEVPTS_SUPER_MAGIC:
    case AUTOFS_SUPER_MAGIC:
    case BINFMTFS_MAGIC:
    case EFIVARFS_MAGIC:
    case SELINUX_MAGIC:
    case SMACK_MAGIC:
    case NSFS_MAGIC:
    case 0x67596969UL:  // rpc_pipefs
      return true;
    case TMPFS_MAGIC:
    case RAMFS_MAGIC:
      // devtmpfs looks like tmpfs from statfs; only the mount table tells them apart.
      if (seen) {
        for (const auto& [known, devtmpfs] : *seen) {
          if (known == device) return devtmpfs;
        }
      }
      {
        const bool devtmpfs = MountTypeOf(device) == "devtmpfs";
        if (seen) seen->emplace_back(device, devtmpfs);
        return devtmpfs;
      }
    default:
      return false;
  }
}

struct LinuxDirent64 {
  ino64_t d_ino;
  off64_t d_off;
  unsigned short d_reclen;
  unsigned char d_type;
  char d_name[1];
};

constexpr std::size_t kReadChunk = 64 * 1024;

}  // namespace

// ---- Path queries

Outcome system::SearchNames(const std::string& folder, std::vector<FoundName>& names) {
  Fd fd;
  if (const Outcome opened = OpenFolderPath(folder, O_RDONLY, fd); !opened.Ok()) return opened;
  DIR* dir = ::fdopendir(fd.Get());
  if (!dir) return Outcome::Last();
  fd.Release();
  while (const dirent* entry = ::readdir(dir)) {
    const char* name = entry->d_name;
    if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
    FoundName found{name, false};
    if (entry->d_type != DT_UNKNOWN)
      found.Kind = entry->d_type == DT_DIR ? EntryKind::Folder : EntryKind::File;
    names.push_back(std::move(found));
  }
  ::closedir(dir);
  return {};
}

Result<EntryKind> system::QueryKind(const std::string& path) {
  struct stat status;
  if (const Outcome queried = LStat(path, status); !queried.Ok()) return queried;
  return S_ISDIR(status.st_mode) ? EntryKind::Folder : EntryKind::File;
}

Result<std::int64_t> system::QuerySize(const std::string& path) {
  struct stat status;
  if (const Outcome queried = LStat(path, status); !queried.Ok()) return queried;
  if (S_ISDIR(status.st_mode)) return std::int64_t{-1};
  return static_cast<std::int64_t>(status.st_size);
}

Result<std::uint64_t> MountKey(const std::string& folder) {
  Fd fd;
  if (const Outcome opened = OpenFolderPath(folder, O_PATH, fd); !opened.Ok()) return opened;
  struct stat status;
  if (::fstat(fd.Get(), &status) != 0) return Outcome::Last();
  return static_cast<std::uint64_t>(status.st_dev);
}

Result<bool> IsPseudoFileSystem(const std::string& folder) {
  Fd fd;
  if (const Outcome opened = OpenFolderPath(folder, O_PATH, fd); !opened.Ok()) return opened;
  struct stat status;
  struct statfs fs;
  if (::fstat(fd.Get(), &status) != 0 || ::fstatfs(fd.Get(), &fs) != 0) return Outcome::Last();
  return IsPseudo(fs, status.st_dev);
}

Result<std::int64_t> BlocksRead() {
  struct rusage usage;
  if (::getrusage(RUSAGE_SELF, &usage) != 0) return Outcome::Last();
  return static_cast<std::int64_t>(usage.ru_inblock);
}

// ---- Folder handles

struct FolderState {
  Fd Handle;
  bool Parked = false;
  bool Identified = false;
  dev_t Device = 0;
  ino_t Inode = 0;
  std::int64_t Allocated = 0;  // the folder's own blocks in bytes, once Identified
  std::int64_t OwnSize = 0;    // and its own size
  // Devices this folder object met on tmpfs-like file systems, and whether each was devtmpfs: the
  // mount table is read once per device, not once per folder. Kept while the object is reused.
  std::vector<std::pair<dev_t, bool>> DevtmpfsSeen;
  std::unique_ptr<char[]> Buffer;  // getdents64 records of the last part, left uninitialised
  std::size_t BufferSize = 0;
  std::unique_ptr<char[]> Rest;  // and of what ReadRest read
  std::size_t RestSize = 0;
};

void FolderStateDeleter::operator()(FolderState* state) const {
  delete state;
}

Folder NewFolder() {
  return Folder(new FolderState);
}

void Close(FolderState& folder) {
  folder.Handle.Reset();
  folder.Parked = false;
  folder.Identified = false;
}

namespace {

Outcome Identify(FolderState& folder) {
  struct stat status;
  if (::fstat(folder.Handle.Get(), &status) != 0) return Outcome::Last();
  folder.Device = status.st_dev;
  folder.Inode = status.st_ino;
  folder.Allocated = static_cast<std::int64_t>(status.st_blocks) * 512;
  folder.OwnSize = static_cast<std::int64_t>(status.st_size);
  folder.Identified = true;
  return {};
}

}  // namespace

OpenResult system::OpenRoot(const std::string& path, bool followLink, FolderState& into) {
  Close(into);
  Outcome opened;
  if (followLink) {
    opened = OpenFolderPath(path, O_RDONLY, into.Handle);
  } else {
    // A trailing separator would have the last name resolved through a link after all.
    std::string named = path;
    while (named.size() > 1 && named.back() == '/')
      named.pop_back();
    opened = OpenFolderPath(named, O_RDONLY | O_NOFOLLOW, into.Handle);
  }
  if (opened.Ok()) opened = Identify(into);
  if (!opened.Ok()) {
    Close(into);
    return {OpenState::Failed, opened};
  }
  // Measured directly, a pseudo file system is what it is inside a tree: a folder with nothing in
  // it, since its sizes are not disk sizes (/proc/kcore alone claims 128 TiB).
  struct statfs fs;
  if (::fstatfs(into.Handle.Get(), &fs) == 0 && IsPseudo(fs, into.Device, &into.DevtmpfsSeen)) {
    Close(into);
    return {OpenState::NotEntered, {}};
  }
  return {OpenState::Opened, {}};
}

namespace {

// Whether openat2 can tell that a mount begins at a name; false once the kernel (or a sandbox)
// has said it cannot.
std::atomic<bool> g_openat2{true};

// Opens the subfolder name of parent when no mount begins there, in one call: -1 with errno
// EXDEV when one does, ENOSYS when that cannot be told this way, as openat otherwise.
int OpenInSameMount(int parent, const char* name) {
  if (!g_openat2.load(std::memory_order_relaxed)) {
    errno = ENOSYS;
    return -1;
  }
  open_how how{};
  how.flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
  how.resolve = RESOLVE_NO_XDEV;
  const long fd = ::syscall(SYS_openat2, parent, name, &how, sizeof how);
  if (fd < 0 && (errno == ENOSYS || errno == EPERM)) {
    g_openat2.store(false, std::memory_order_relaxed);
    errno = ENOSYS;
  }
  return static_cast<int>(fd);
}

}  // namespace

OpenResult system::OpenChild(FolderState& parent, std::string_view name, FolderState& into) {
  Close(into);
  // A file system may be mounted while the walk is under way, so whether one begins here is
  // asked of every folder: the kernel answers with the open itself where it can.
  int fd = OpenInSameMount(parent.Handle.Get(), name.data());
  const bool sameMount = fd >= 0;
  if (fd < 0 && (errno == EXDEV || errno == ENOSYS)) {
    fd =
        ::openat(parent.Handle.Get(), name.data(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  }
  if (fd < 0) {
    // A link where the folder was (O_NOFOLLOW's ELOOP) is no longer a folder.
    const Outcome failed = errno == ELOOP ? Outcome(ENOTDIR) : Outcome::Last();
    if (failed.Gone()) return {OpenState::Failed, failed};
    // A folder that lets its names be read but not queried hides its subfolders' kind as well.
    struct stat status;
    if (::fstatat(parent.Handle.Get(), name.data(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
      return {OpenState::EntryFailed, Outcome::Last()};
    }
    return {OpenState::Failed, failed};
  }
  into.Handle.Reset(fd);
  if (sameMount) return {OpenState::Opened, {}};
  // A mount begins here, or the device tells where one might: ask which file system it is.
  if (const Outcome identified = Identify(into); !identified.Ok()) {
    Close(into);
    return {OpenState::Failed, identified};
  }
  if (!parent.Identified || into.Device != parent.Device) {
    struct statfs fs;
    if (::fstatfs(fd, &fs) == 0 && IsPseudo(fs, into.Device, &into.DevtmpfsSeen)) {
      Close(into);
      return {OpenState::NotEntered, {}};
    }
  }
  // A bind mount of the same file system keeps its device: du -x walks it, and so does this.
  return {OpenState::Opened, {}, parent.Identified && into.Device != parent.Device};
}

namespace {

// Appends the entries of used bytes of getdents64 records; kinds from the records alone.
void AddRecords(const char* records, std::size_t used, std::vector<FolderEntry>& entries) {
  for (std::size_t at = 0; at < used;) {
    const auto* record = reinterpret_cast<const LinuxDirent64*>(records + at);
    at += record->d_reclen;
    const char* name = record->d_name;
    if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) continue;
    FolderEntry entry;
    entry.Name = name;
    // d_type spares a folder its query; anything else is asked for its size anyway.
    entry.Kind = record->d_type == DT_DIR ? EntryKind::Folder : EntryKind::Unqueried;
    entries.push_back(entry);
  }
}

}  // namespace

Result<ReadState> ReadEntries(FolderState& folder, std::vector<FolderEntry>& entries) {
  entries.clear();
  if (!folder.Buffer) {
    folder.Buffer.reset(new char[kReadChunk]);
    folder.BufferSize = kReadChunk;
  }
  const long got =
      ::syscall(SYS_getdents64, folder.Handle.Get(), folder.Buffer.get(), folder.BufferSize);
  if (got < 0) return Outcome::Last();
  if (got == 0) return ReadState::Done;
  AddRecords(folder.Buffer.get(), static_cast<std::size_t>(got), entries);
  return ReadState::More;
}

Outcome ReadRest(FolderState& folder, std::vector<FolderEntry>& entries) {
  // A buffer of its own, since the names of the last part live in the other one.
  std::size_t used = 0;
  Outcome read;
  for (;;) {
    if (folder.RestSize - used < kReadChunk / 2) {
      const std::size_t size = std::max(kReadChunk, folder.RestSize * 2);
      std::unique_ptr<char[]> larger(new char[size]);
      if (used > 0) std::memcpy(larger.get(), folder.Rest.get(), used);
      folder.Rest = std::move(larger);
      folder.RestSize = size;
    }
    const long got = ::syscall(SYS_getdents64, folder.Handle.Get(), folder.Rest.get() + used,
                               folder.RestSize - used);
    if (got == 0) break;
    if (got < 0) {
      read = Outcome::Last();
      break;
    }
    used += static_cast<std::size_t>(got);
  }
  AddRecords(folder.Rest.get(), used, entries);
  return read;
}

Outcome system::SizeEntry(FolderState& folder, FolderEntry& entry) {
  // The name ends where its text does: it comes from a directory record.
  struct stat status;
  if (::fstatat(folder.Handle.Get(), entry.Name.data(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
    return Outcome::Last();
  }
  if (S_ISDIR(status.st_mode)) {
    entry.Kind = EntryKind::Folder;
  } else {
    entry.Kind = EntryKind::File;
    entry.Size = static_cast<std::int64_t>(status.st_size);
  }
  // st_blocks counts 512-byte units whatever the file system's block size (du -B1 reads it so).
  entry.Allocated = static_cast<std::int64_t>(status.st_blocks) * 512;
  entry.Linked = !S_ISDIR(status.st_mode) && status.st_nlink > 1;
  entry.Device = static_cast<std::uint64_t>(status.st_dev);
  entry.Inode = static_cast<std::uint64_t>(status.st_ino);
  entry.Links = static_cast<std::uint64_t>(status.st_nlink);
  entry.Regular = S_ISREG(status.st_mode) || S_ISDIR(status.st_mode);
  return {};
}

Result<std::int64_t> OwnAllocation(FolderState& folder) {
  if (!folder.Identified) {
    if (const Outcome identified = Identify(folder); !identified.Ok()) return identified;
  }
  return folder.Allocated;
}

Result<std::int64_t> OwnSize(FolderState& folder) {
  if (!folder.Identified) {
    if (const Outcome identified = Identify(folder); !identified.Ok()) return identified;
  }
  return folder.OwnSize;
}

void Park(FolderState& folder) {
  // Its identity is what tells, on the way back, that ".." led to the same folder.
  if (folder.Handle.Valid() && (folder.Identified || Identify(folder).Ok())) {
    folder.Handle.Reset();
    folder.Parked = true;
  }
}

namespace {

// Takes fd, open on what should be the parked folder, as its handle once it proves to be that
// folder; another folder there now is as good as the folder gone.
Outcome TakeBack(FolderState& folder, Fd fd) {
  struct stat status;
  if (::fstat(fd.Get(), &status) != 0) return Outcome::Last();
  if (status.st_dev != folder.Device || status.st_ino != folder.Inode) return Outcome(ENOENT);
  folder.Handle = std::move(fd);
  folder.Parked = false;
  return {};
}

}  // namespace

Outcome Unpark(FolderState& folder, FolderState& child) {
  if (!folder.Parked) return {};
  Fd fd(::openat(child.Handle.Get(), "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!fd.Valid()) return Outcome::Last();
  return TakeBack(folder, std::move(fd));
}

Outcome Reopen(FolderState& folder, FolderState& ancestor, std::string_view relative) {
  if (!folder.Parked) return {};
  Fd fd;
  std::string name;
  for (std::size_t start = 0; start <= relative.size();) {
    const std::size_t end = std::min(relative.find('/', start), relative.size());
    name.assign(relative.substr(start, end - start));
    const int from = fd.Valid() ? fd.Get() : ancestor.Handle.Get();
    Fd next(::openat(from, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!next.Valid()) return Outcome::Last();
    fd = std::move(next);
    start = end + 1;
  }
  return TakeBack(folder, std::move(fd));
}

Outcome Share(FolderState& folder, FolderState& into) {
  Close(into);
  into.Handle.Reset(::fcntl(folder.Handle.Get(), F_DUPFD_CLOEXEC, 0));
  if (!into.Handle.Valid()) return Outcome::Last();
  into.Device = folder.Device;
  into.Inode = folder.Inode;
  into.Identified = folder.Identified;
  return {};
}

}  // namespace quillet::platform
