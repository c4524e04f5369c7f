// Making and removing test trees; one half per platform.
#include "TempTree.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <utility>
#include <vector>

#include "scan/Gloval.h"
#include "scan/Text.h"
#include "scan/Utf16.h"

#ifdef _WIN32
#include <windows.h>
#include <winioctl.h>
#else
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace quillet::testing {

namespace {

const std::string& Made(bool made, const std::string& path) {
  if (!made) throw std::runtime_error("cannot make " + path);
  return path;
}

}  // namespace

TempTree::TempTree() {
  static std::atomic<int> counter{0};
  const std::u8string temp = std::filesystem::temp_directory_path().u8string();
  m_root.assign(temp.begin(), temp.end());
  while (m_root.size() > 1 && m_root.back() == kPathSeparator)
    m_root.pop_back();
  m_root += kPathSeparator + std::string("quillet-scan-") +
            std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) + "-" +
            std::to_string(counter++);
  Made(MakeFolderAt(m_root), m_root);
}

std::string TempTree::Path(const std::string& relative) const {
  std::string path = m_root + kPathSeparator;
  for (char c : relative)
    path += c == '/' ? kPathSeparator : c;
  return path;
}

std::string TempTree::Folder(const std::string& relative) {
  for (auto slash = relative.find('/'); slash != std::string::npos;
       slash = relative.find('/', slash + 1))
    MakeFolderAt(Path(relative.substr(0, slash)));
  const std::string path = Path(relative);
  return Made(MakeFolderAt(path) || IsFolder(path), path);
}

std::string TempTree::File(const std::string& relative, std::int64_t size) {
  const auto slash = relative.rfind('/');
  if (slash != std::string::npos) Folder(relative.substr(0, slash));
  const std::string path = Path(relative);
  return Made(MakeFileAt(path, size), path);
}

#ifdef _WIN32

std::wstring Wide(const std::string& text) {
  return ToUtf16<wchar_t>(text);
}

namespace {

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
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      ::DeleteFileW(full.c_str());
      continue;
    }
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) RemoveBelow(full);
    ::RemoveDirectoryW(full.c_str());
  } while (::FindNextFileW(find, &data));
  ::FindClose(find);
}

}  // namespace

TempTree::~TempTree() {
  RemoveBelow(Long(m_root));
  ::RemoveDirectoryW(Long(m_root).c_str());
}

bool MakeFolderAt(const std::string& path) {
  return ::CreateDirectoryW(Long(path).c_str(), nullptr) != 0;
}

bool MakeFileAt(const std::string& path, std::int64_t size) {
  HANDLE file = ::CreateFileW(Long(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD returned = 0;
  ::DeviceIoControl(file, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
  FILE_END_OF_FILE_INFO end;
  end.EndOfFile.QuadPart = size;
  const bool ok = ::SetFileInformationByHandle(file, FileEndOfFileInfo, &end, sizeof end) != 0;
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
    if (name != "." && name != "..") names.emplace_back(name, entry->d_type == DT_DIR);
  }
  ::closedir(dir);
  for (const auto& [name, isFolder] : names) {
    const int child =
        isFolder ? ::openat(folder, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW) : -1;
    if (child >= 0) {
      RemoveBelow(child);
      ::close(child);
    }
    ::unlinkat(folder, name.c_str(), isFolder ? AT_REMOVEDIR : 0);
  }
}

// Opens the folder holding the last part of path, walking from the root in steps that each stay
// under the path length limit; returns the last part in rest.
int OpenHolder(const std::string& path, std::string& rest) {
  const auto cut = path.rfind('/');
  rest = path.substr(cut + 1);
  const std::string holder = cut == 0 ? "/" : path.substr(0, cut);
  int fd = ::open("/", O_RDONLY | O_DIRECTORY);
  for (std::size_t at = 1; fd >= 0 && at < holder.size();) {
    std::size_t end = at + 3000 < holder.size() ? holder.rfind('/', at + 3000) : holder.size();
    if (end == std::string::npos || end <= at) end = holder.size();
    const int next = ::openat(fd, holder.substr(at, end - at).c_str(), O_RDONLY | O_DIRECTORY);
    ::close(fd);
    fd = next;
    at = end + 1;
  }
  return fd;
}

}  // namespace

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
  const bool ok = holder >= 0 && ::mkdirat(holder, name.c_str(), 0755) == 0;
  if (holder >= 0) ::close(holder);
  return ok;
}

bool MakeFileAt(const std::string& path, std::int64_t size) {
  std::string name;
  const int holder = OpenHolder(path, name);
  const int fd =
      holder < 0 ? -1 : ::openat(holder, name.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
  if (holder >= 0) ::close(holder);
  // ftruncate leaves a hole: the size is there, the data is not.
  const bool ok = fd >= 0 && ::ftruncate(fd, static_cast<off_t>(size)) == 0;
  if (fd >= 0) ::close(fd);
  return ok;
}

#endif

#ifdef _WIN32
namespace {

// The allocation size of the file at path, asked of the file itself; -1 when it cannot be.
std::int64_t AllocationOf(const std::filesystem::path& path) {
  const HANDLE file = ::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) return -1;
  FILE_STANDARD_INFO info{};
  const bool asked = ::GetFileInformationByHandleEx(file, FileStandardInfo, &info, sizeof info);
  ::CloseHandle(file);
  return asked ? info.AllocationSize.QuadPart : -1;
}

}  // namespace

std::vector<std::int64_t> DiskUsage(const std::vector<std::string>& paths,
                                    const std::string& /*options*/) {
  std::vector<std::int64_t> sizes;
  for (const std::string& path : paths) {
    const std::filesystem::path top(Wide(path));
    std::int64_t sum = 0;
    std::error_code error;
    if (!std::filesystem::is_directory(top, error)) {
      sum = AllocationOf(top);
    } else {
      for (auto it = std::filesystem::recursive_directory_iterator(top, error);
           !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
        if (it->is_directory()) continue;
        const std::int64_t allocation = AllocationOf(it->path());
        if (allocation < 0) return {};
        sum += allocation;
      }
    }
    if (error || sum < 0) return {};
    sizes.push_back(sum);
  }
  return sizes;
}
#else
std::vector<std::int64_t> DiskUsage(const std::vector<std::string>& paths,
                                    const std::string& options) {
  std::string command = "du -s -B1 " + options;
  for (const std::string& path : paths) {
    command += " '";
    for (const char c : path)
      command += c == '\'' ? std::string("'\\''") : std::string(1, c);
    command += "'";
  }
  std::vector<std::int64_t> sizes;
  FILE* du = ::popen(command.c_str(), "r");
  if (!du) return sizes;
  char line[8192];
  while (std::fgets(line, sizeof line, du))
    sizes.push_back(std::stoll(line));
  if (::pclose(du) != 0 || sizes.size() != paths.size()) sizes.clear();
  return sizes;
}
#endif

}  // namespace quillet::testing
