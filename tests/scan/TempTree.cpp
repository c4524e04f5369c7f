// Making and removing test trees; one half per platform.
#include "TempTree.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <utility>
#include <vector>

#include "scan/Text.h"

#ifdef _WIN32
#include <windows.h>
#include <winioctl.h>
#else
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace quillet::testing {

namespace {

std::string UniqueName() {
  static std::atomic<int> counter{0};
  const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
  return "quillet-scan-" + std::to_string(now) + "-" + std::to_string(counter++);
}

}  // namespace

std::string TempTree::Path(const std::string& relative) const {
  std::string path = m_root;
  path += kPathSeparator;
  for (char c : relative)
    path += c == '/' ? kPathSeparator : c;
  return path;
}

std::string TempTree::Folder(const std::string& relative) {
  const std::string path = Path(relative);
  if (!MakeFolderAt(path)) throw std::runtime_error("cannot make folder " + path);
  return path;
}

std::string TempTree::File(const std::string& relative, std::int64_t size) {
  const std::string path = Path(relative);
  if (!MakeFileAt(path, size)) throw std::runtime_error("cannot make file " + path);
  return path;
}

std::string TempTree::SparseFile(const std::string& relative, std::int64_t size) {
  const std::string path = Path(relative);
  if (!MakeFileAt(path, size, true)) throw std::runtime_error("cannot make file " + path);
  return path;
}

#ifdef _WIN32

namespace {

std::wstring Wide(const std::string& text) {
  std::wstring wide(text.size() + 1, L'\0');
  const int length = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                           wide.data(), static_cast<int>(wide.size()));
  wide.resize(static_cast<std::size_t>(length));
  return wide;
}

std::wstring Long(const std::string& path) {
  return L"\\\\?\\" + Wide(path);
}

void RemoveBelow(const std::wstring& folder) {
  WIN32_FIND_DATAW data;
  HANDLE find = ::FindFirstFileW((folder + L"\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    const std::wstring name = data.cFileName;
    if (name == L"." || name == L"..") continue;
    const std::wstring full = folder + L"\\" + name;
    ::SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
    const bool isLink = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      if (!isLink) RemoveBelow(full);
      ::RemoveDirectoryW(full.c_str());
    } else {
      ::DeleteFileW(full.c_str());
    }
  } while (::FindNextFileW(find, &data));
  ::FindClose(find);
}

}  // namespace

TempTree::TempTree() {
  wchar_t buffer[MAX_PATH + 1];
  const DWORD length = ::GetTempPathW(MAX_PATH + 1, buffer);
  std::wstring temp(buffer, length);
  std::string base(temp.size() * 3, '\0');
  const int size =
      ::WideCharToMultiByte(CP_UTF8, 0, temp.data(), static_cast<int>(temp.size()), base.data(),
                            static_cast<int>(base.size()), nullptr, nullptr);
  base.resize(static_cast<std::size_t>(size));
  if (!base.empty() && base.back() == '\\') base.pop_back();
  m_root = base + "\\" + UniqueName();
  if (!MakeFolderAt(m_root)) throw std::runtime_error("cannot make " + m_root);
}

TempTree::~TempTree() {
  RemoveBelow(Long(m_root));
  ::RemoveDirectoryW(Long(m_root).c_str());
}

bool MakeFolderAt(const std::string& path) {
  return ::CreateDirectoryW(Long(path).c_str(), nullptr) != 0;
}

bool MakeFileAt(const std::string& path, std::int64_t size, bool sparse) {
  HANDLE file = ::CreateFileW(Long(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool ok = true;
  if (sparse) {
    DWORD returned = 0;
    ::DeviceIoControl(file, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
  }
  if (size > 0) {
    FILE_END_OF_FILE_INFO end;
    end.EndOfFile.QuadPart = size;
    ok = ::SetFileInformationByHandle(file, FileEndOfFileInfo, &end, sizeof end) != 0;
  }
  ::CloseHandle(file);
  return ok;
}

#else

namespace {

// Removes what is below the open folder fd, relative to it, so depth is no limit.
void RemoveBelow(int folder) {
  DIR* dir = ::fdopendir(::dup(folder));
  if (!dir) return;
  std::vector<std::pair<std::string, bool> > names;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    names.emplace_back(name, entry->d_type == DT_DIR);
  }
  ::closedir(dir);
  for (const auto& [name, isFolder] : names) {
    if (isFolder) {
      const int child = ::openat(folder, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
      if (child >= 0) {
        RemoveBelow(child);
        ::close(child);
      }
      ::unlinkat(folder, name.c_str(), AT_REMOVEDIR);
    } else {
      ::unlinkat(folder, name.c_str(), 0);
    }
  }
}

// Opens the folder holding the last part of path, walking from the root in steps that each stay
// under the path length limit; returns the last part in rest.
int OpenHolder(const std::string& path, std::string& rest) {
  const auto cut = path.rfind('/');
  rest = path.substr(cut + 1);
  const std::string holder = cut == 0 ? "/" : path.substr(0, cut);
  int fd = ::open("/", O_RDONLY | O_DIRECTORY);
  std::size_t at = 1;
  while (fd >= 0 && at < holder.size()) {
    std::size_t end = at + 3000 < holder.size() ? holder.rfind('/', at + 3000) : holder.size();
    if (end == std::string::npos || end <= at) end = holder.size();
    const std::string step = holder.substr(at, end - at);
    const int next = ::openat(fd, step.c_str(), O_RDONLY | O_DIRECTORY);
    ::close(fd);
    fd = next;
    at = end + 1;
  }
  return fd;
}

}  // namespace

TempTree::TempTree() {
  const char* temp = std::getenv("TMPDIR");
  std::string base = temp && *temp ? temp : "/tmp";
  while (base.size() > 1 && base.back() == '/')
    base.pop_back();
  m_root = base + "/" + UniqueName();
  if (!MakeFolderAt(m_root)) throw std::runtime_error("cannot make " + m_root);
}

TempTree::~TempTree() {
  const int fd = ::open(m_root.c_str(), O_RDONLY | O_DIRECTORY);
  if (fd >= 0) {
    RemoveBelow(fd);
    ::close(fd);
  }
  ::rmdir(m_root.c_str());
}

bool MakeFolderAt(const std::string& path) {
  std::string name;
  const int holder = OpenHolder(path, name);
  if (holder < 0) return false;
  const bool ok = ::mkdirat(holder, name.c_str(), 0755) == 0;
  ::close(holder);
  return ok;
}

bool MakeFileAt(const std::string& path, std::int64_t size, bool /*sparse*/) {
  std::string name;
  const int holder = OpenHolder(path, name);
  if (holder < 0) return false;
  const int fd = ::openat(holder, name.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
  ::close(holder);
  if (fd < 0) return false;
  // ftruncate leaves a hole: the size is there, the data is not.
  const bool ok = ::ftruncate(fd, static_cast<off_t>(size)) == 0;
  ::close(fd);
  return ok;
}

#endif

}  // namespace quillet::testing
