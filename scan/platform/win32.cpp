// Windows: W functions only, UTF-8 converted at this boundary, long paths through "\\?\".
#include <windows.h>

#include <cstdint>
#include <memory>

#include "scan/Utf16.h"
#include "scan/platform/Platform.h"
#include "scan/platform/System.h"

namespace quillet::platform {

Outcome Outcome::Last() {
  const DWORD error = ::GetLastError();
  return Outcome(error != ERROR_SUCCESS ? error : ERROR_GEN_FAILURE);
}

// ERROR_DIRECTORY is what the system says where a name it was to treat as a folder is not one.
bool Outcome::Gone() const {
  return m_code == ERROR_FILE_NOT_FOUND || m_code == ERROR_PATH_NOT_FOUND ||
         m_code == ERROR_DIRECTORY;
}

std::string Outcome::Text() const {
  wchar_t* text = nullptr;
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, m_code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring message = length > 0 && text != nullptr ? std::wstring(text, length) : L"";
  if (text != nullptr) ::LocalFree(text);
  while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' ||
                              message.back() == L' ' || message.back() == L'.'))
    message.pop_back();
  if (message.empty()) return "error " + std::to_string(m_code);
  return ToUtf8(std::wstring_view(message));
}

const Outcome system::kDenied(ERROR_ACCESS_DENIED);
const Outcome system::kNotFound(ERROR_FILE_NOT_FOUND);

namespace {

std::wstring ToWide(std::string_view text) {
  return ToUtf16<wchar_t>(text);
}

void AppendUtf8(std::string& into, const wchar_t* wide) {
  into += ToUtf8(wide);
}

// The "\\?\" form of a path, absolute, so that no length limit applies.
std::wstring LongPath(std::string_view path) {
  const std::wstring wide = ToWide(path);
  if (wide.rfind(L"\\\\?\\", 0) == 0) return wide;
  const DWORD needed = ::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return wide;
  std::wstring full(needed, L'\0');
  const DWORD length = ::GetFullPathNameW(wide.c_str(), needed, full.data(), nullptr);
  if (length == 0 || length >= needed) return wide;
  full.resize(length);
  // The device namespace "\\.\" takes the same paths, there without their length limit.
  if (full.rfind(L"\\\\.\\", 0) == 0) return L"\\\\?\\" + full.substr(4);
  if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

class FindHandle {
 public:
  FindHandle() = default;
  explicit FindHandle(HANDLE handle) : m_handle(handle) {}
  FindHandle(const FindHandle&) = delete;
  FindHandle& operator=(const FindHandle&) = delete;
  ~FindHandle() { Reset(); }
  bool Valid() const { return m_handle != INVALID_HANDLE_VALUE; }
  HANDLE Get() const { return m_handle; }
  void Reset(HANDLE handle = INVALID_HANDLE_VALUE) {
    if (Valid()) ::FindClose(m_handle);
    m_handle = handle;
  }

 private:
  HANDLE m_handle = INVALID_HANDLE_VALUE;
};

HANDLE StartSearch(const std::wstring& pattern, WIN32_FIND_DATAW& data) {
  return ::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr,
                            FIND_FIRST_EX_LARGE_FETCH);
}

bool IsDotName(const wchar_t* name) {
  return name[0] == L'.' && (name[1] == L'\0' || (name[1] == L'.' && name[2] == L'\0'));
}

bool IsNameSurrogate(const WIN32_FIND_DATAW& data) {
  return (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
         IsReparseTagNameSurrogate(data.dwReserved0);
}

std::int64_t SizeOf(const WIN32_FIND_DATAW& data) {
  return static_cast<std::int64_t>((static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) |
                                   data.nFileSizeLow);
}

}  // namespace

ReadableFile::ReadableFile(const std::string& path) {
  if (path == "-") {
    m_handle = reinterpret_cast<std::intptr_t>(::GetStdHandle(STD_INPUT_HANDLE));
    return;
  }
  const HANDLE file = ::CreateFileW(LongPath(path).c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    m_opened = Outcome::Last();
    return;
  }
  m_handle = reinterpret_cast<std::intptr_t>(file);
  m_owned = true;
}

ReadableFile::~ReadableFile() {
  if (m_owned) ::CloseHandle(reinterpret_cast<HANDLE>(m_handle));
}

Result<std::size_t> ReadableFile::Read(char* buffer, std::size_t size) {
  if (!m_opened.Ok()) return m_opened;
  DWORD got = 0;
  const DWORD want = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
  if (!::ReadFile(reinterpret_cast<HANDLE>(m_handle), buffer, want, &got, nullptr)) {
    // A pipe whose writer is done ends there.
    if (::GetLastError() == ERROR_BROKEN_PIPE) return std::size_t{0};
    return Outcome::Last();
  }
  return static_cast<std::size_t>(got);
}

// ---- Path queries

Outcome system::SearchNames(const std::string& folder, std::vector<FoundName>& names) {
  WIN32_FIND_DATAW data;
  FindHandle find(StartSearch(LongPath(folder) + L"*", data));
  if (!find.Valid()) return Outcome::Last();
  do {
    if (IsDotName(data.cFileName)) continue;
    FoundName found;
    AppendUtf8(found.Name, data.cFileName);
    found.NameSurrogate = IsNameSurrogate(data);
    found.Kind = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? EntryKind::Folder
                                                                         : EntryKind::File;
    names.push_back(std::move(found));
  } while (::FindNextFileW(find.Get(), &data));
  return {};
}

// The attributes of a link are its own: the query does not follow it.
Result<EntryKind> system::QueryKind(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesW(LongPath(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return Outcome::Last();
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? EntryKind::Folder : EntryKind::File;
}

Result<std::int64_t> system::QuerySize(const std::string& path) {
  WIN32_FIND_DATAW data;
  FindHandle find(StartSearch(LongPath(path), data));
  if (!find.Valid()) return Outcome::Last();
  if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return std::int64_t{-1};
  return SizeOf(data);
}

// No pseudo file systems here: every folder is on "the same" mount.
Result<std::uint64_t> MountKey(const std::string& /*folder*/) {
  return std::uint64_t{1};
}

Result<bool> IsPseudoFileSystem(const std::string& /*folder*/) {
  return false;
}

// What a directory search reads is not told apart from the rest of the process's reads here.
Result<std::int64_t> BlocksRead() {
  return Outcome(ERROR_NOT_SUPPORTED);
}

// ---- Folder handles: a folder is its long path plus a handle its entries are read through,
// in records that carry each entry's attributes, size and allocation: no file is opened.

namespace {

class DirectoryHandle {
 public:
  DirectoryHandle() = default;
  DirectoryHandle(const DirectoryHandle&) = delete;
  DirectoryHandle& operator=(const DirectoryHandle&) = delete;
  ~DirectoryHandle() { Reset(); }
  bool Valid() const { return m_handle != INVALID_HANDLE_VALUE; }
  HANDLE Get() const { return m_handle; }
  void Reset(HANDLE handle = INVALID_HANDLE_VALUE) {
    if (Valid()) ::CloseHandle(m_handle);
    m_handle = handle;
  }

 private:
  HANDLE m_handle = INVALID_HANDLE_VALUE;
};

// Bytes of directory records asked for at a time: a part of a folder's entries.
constexpr DWORD kRecordBytes = 64 * 1024;

}  // namespace

struct FolderState {
  std::wstring Base;       // long path with its trailing separator
  DirectoryHandle Handle;  // open while entries are left to read
  // FILE_ID_BOTH_DIR_INFO records, kept aligned as the call wants them.
  std::unique_ptr<LONGLONG[]> Records;
  std::string Names;  // the names of the last part, each ended by a NUL
  std::vector<std::size_t> Starts;
  std::string RestNames;  // and of what ReadRest read
  std::vector<std::size_t> RestStarts;
};

void FolderStateDeleter::operator()(FolderState* state) const {
  delete state;
}

Folder NewFolder() {
  return Folder(new FolderState);
}

void Close(FolderState& folder) {
  folder.Handle.Reset();
}

namespace {

// A folder that cannot be opened is asked after by the attribute query: a name that cannot even
// be queried tells nothing of the folder.
OpenResult BeginSearch(FolderState& into) {
  into.Handle.Reset(::CreateFileW(into.Base.c_str(), FILE_LIST_DIRECTORY | SYNCHRONIZE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (into.Handle.Valid()) return {OpenState::Opened, {}};
  const Outcome failed = Outcome::Last();
  const DWORD attributes = ::GetFileAttributesW(into.Base.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return {OpenState::EntryFailed, Outcome::Last()};
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    return {OpenState::Failed, Outcome(ERROR_DIRECTORY)};
  }
  return {OpenState::Failed, failed};
}

}  // namespace

OpenResult system::OpenRoot(const std::string& path, bool followLink, FolderState& into) {
  Close(into);
  into.Base = LongPath(path);
  if (into.Base.empty() || into.Base.back() != L'\\') into.Base += L'\\';
  if (!followLink) {
    // A junction or link found where a folder was listed is not that folder.
    const DWORD attributes = ::GetFileAttributesW(into.Base.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return {OpenState::Failed, Outcome::Last()};
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
        (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
      return {OpenState::Failed, Outcome(ERROR_DIRECTORY)};
    }
  }
  // The folder to measure has no parent whose failure it could be.
  const OpenResult result = BeginSearch(into);
  return result.State == OpenState::EntryFailed ? OpenResult{OpenState::Failed, result.Error}
                                                : result;
}

OpenResult system::OpenChild(FolderState& parent, std::string_view name, FolderState& into) {
  Close(into);
  into.Base = parent.Base;
  into.Base += ToWide(name);
  into.Base += L'\\';
  return BeginSearch(into);
}

namespace {

std::int64_t Quad(const LARGE_INTEGER& value) {
  return static_cast<std::int64_t>(value.QuadPart);
}

// Appends the entries of one buffer of records; false when the folder has none left (or the read
// failed, failed then set). The kind, size and allocation come with the name; every entry but a
// folder to walk into is left Unqueried all the same, for SizeEntry to confirm.
bool ReadRecords(FolderState& folder, std::vector<FolderEntry>& entries, std::string& names,
                 std::vector<std::size_t>& starts, Outcome& failed) {
  if (!folder.Handle.Valid()) return false;
  if (!folder.Records) folder.Records.reset(new LONGLONG[kRecordBytes / sizeof(LONGLONG)]);
  if (!::GetFileInformationByHandleEx(folder.Handle.Get(), FileIdBothDirectoryInfo,
                                      folder.Records.get(), kRecordBytes)) {
    // A drive root without entries has not even "." to give.
    const DWORD error = ::GetLastError();
    if (error != ERROR_NO_MORE_FILES && error != ERROR_FILE_NOT_FOUND) failed = Outcome::Last();
    folder.Handle.Reset();
    return false;
  }
  const auto* bytes = reinterpret_cast<const unsigned char*>(folder.Records.get());
  for (DWORD at = 0;;) {
    const auto& record = *reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(bytes + at);
    const std::wstring name(record.FileName, record.FileNameLength / sizeof(WCHAR));
    if (!IsDotName(name.c_str())) {
      FolderEntry entry;
      if ((record.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        // For a reparse point the record's EaSize holds its tag.
        entry.MayEnter = (record.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 ||
                         !IsReparseTagNameSurrogate(record.EaSize);
        if (entry.MayEnter) entry.Kind = EntryKind::Folder;
      } else {
        entry.Size = Quad(record.EndOfFile);
        entry.Allocated = Quad(record.AllocationSize);
      }
      starts.push_back(names.size());
      AppendUtf8(names, name.c_str());
      names.push_back('\0');
      entries.push_back(entry);
    }
    if (record.NextEntryOffset == 0) break;
    at += record.NextEntryOffset;
  }
  return true;
}

// Reads one buffer of records, or with all every one left, into entries, their names kept in
// names.
Result<ReadState> ReadPart(FolderState& folder, std::vector<FolderEntry>& entries,
                           std::string& names, std::vector<std::size_t>& starts, bool all) {
  names.clear();
  starts.clear();
  const std::size_t first = entries.size();
  Outcome failed;
  bool more = ReadRecords(folder, entries, names, starts, failed);
  while (all && more)
    more = ReadRecords(folder, entries, names, starts, failed);
  // The names are in place only now that the text stopped growing.
  for (std::size_t i = 0; i < starts.size(); ++i) {
    const std::size_t end = i + 1 < starts.size() ? starts[i + 1] - 1 : names.size() - 1;
    entries[first + i].Name = std::string_view(names).substr(starts[i], end - starts[i]);
  }
  if (!failed.Ok()) return failed;
  return more ? ReadState::More : ReadState::Done;
}

}  // namespace

Result<ReadState> ReadEntries(FolderState& folder, std::vector<FolderEntry>& entries) {
  entries.clear();
  return ReadPart(folder, entries, folder.Names, folder.Starts, false);
}

Outcome ReadRest(FolderState& folder, std::vector<FolderEntry>& entries) {
  return ReadPart(folder, entries, folder.RestNames, folder.RestStarts, true).Failure();
}

// The search gave the size with the name, and a folder-like link is a folder never walked into.
Outcome system::SizeEntry(FolderState& /*folder*/, FolderEntry& entry) {
  entry.Kind = entry.MayEnter ? EntryKind::File : EntryKind::Folder;
  return {};
}

// Explorer counts no space for a folder's own records.
Result<std::int64_t> OwnAllocation(FolderState& /*folder*/) {
  return std::int64_t{-1};
}

Result<std::int64_t> OwnSize(FolderState& /*folder*/) {
  return std::int64_t{-1};
}

// A folder is read to its end before it is parked, and its subfolders are opened by their paths:
// its handle can go.
void Park(FolderState& folder) {
  Close(folder);
}

Outcome Unpark(FolderState& /*folder*/, FolderState& /*child*/) {
  return {};
}

Outcome Reopen(FolderState& /*folder*/, FolderState& /*ancestor*/, std::string_view /*relative*/) {
  return {};
}

Outcome Share(FolderState& folder, FolderState& into) {
  Close(into);
  into.Base = folder.Base;
  return {};
}

}  // namespace quillet::platform
