// What each platform file gives the scanning core; internal to scan/.
#pragma once

#include <cassert>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace quillet::platform {

// ---- How every call below fails: with the system's own error code.

// The error of a failed call as the system gave it (errno on POSIX, GetLastError's code on
// Windows), or none. Whatever the call, a failure means one of two things, told by Gone().
class Outcome {
 public:
  constexpr Outcome() = default;  // success
  constexpr explicit Outcome(std::uint32_t code) : m_code(code) {}

  // The calling thread's last error; never a success, even when the system left none.
  static Outcome Last();

  constexpr bool Ok() const { return m_code == 0; }
  constexpr std::uint32_t Code() const { return m_code; }
  // The system's own words for the failure (strerror, FormatMessage), in UTF-8.
  std::string Text() const;

  // True when the failure says nothing is there any more: the entry, or a folder on its way, is
  // gone, or is no longer a folder where one was needed. Any other failure means something is
  // there that cannot be read or queried.
  bool Gone() const;

 private:
  std::uint32_t m_code = 0;
};

// A call's value, or its failure. The value is meaningful only when Ok().
template <typename T>
class Result {
 public:
  // Implicit both, so that a call returns its value or its failure as it stands.
  Result(T value) : m_value(value) {}
  Result(Outcome failure) : m_failure(failure) { assert(!failure.Ok()); }

  bool Ok() const { return m_failure.Ok(); }
  Outcome Failure() const { return m_failure; }
  const T& operator*() const {
    assert(Ok());
    return m_value;
  }
  T ValueOr(T otherwise) const { return Ok() ? m_value : otherwise; }

 private:
  T m_value{};
  Outcome m_failure;
};

// ---- A file read from its start to its end (a saved scan), "-" standing for standard input.

class ReadableFile {
 public:
  explicit ReadableFile(const std::string& path);
  ~ReadableFile();
  ReadableFile(const ReadableFile&) = delete;
  ReadableFile& operator=(const ReadableFile&) = delete;

  // How opening went; nothing can be read when it failed.
  Outcome Opened() const { return m_opened; }
  // The next bytes, at most size of them; 0 at the end.
  Result<std::size_t> Read(char* buffer, std::size_t size);

 private:
  std::intptr_t m_handle = -1;
  bool m_owned = false;
  Outcome m_opened;
};

// ---- Path queries, one system call (or search) each, as the entry-list routines use them.

// Unqueried: found by a folder's search, not yet asked about; SizeEntry settles its kind and size
// (on Windows the search gave them, but the entry is confirmed there all the same). Skipped: set
// by the caller, never by these calls, for an entry it has done with.
enum class EntryKind : std::uint8_t { File, Folder, Unqueried, Skipped };

struct FoundName {
  std::string Name;
  bool NameSurrogate = false;  // a junction or other link-like reparse point: never walked into
  // Folder or File (a link is a file) as the search itself reports it; Unqueried where the file
  // system's search does not tell.
  EntryKind Kind = EntryKind::Unqueried;
};

// The names in folder (given with its trailing separator), "." and ".." left out, hidden ones
// included. When the search cannot start, names stays empty.
Outcome SearchNames(const std::string& folder, std::vector<FoundName>& names);

// The attribute query of path, a link asked about itself and never followed: Folder (not a link
// to one) or File (anything else).
Result<EntryKind> QueryKind(const std::string& path);

// The full size of the entry at path (a link's own size); -1 for a folder, which has none.
Result<std::int64_t> QuerySize(const std::string& path);

// Identifies the file system holding folder: equal keys, same mount.
Result<std::uint64_t> MountKey(const std::string& folder);

// True when folder lies on a pseudo file system (proc, sysfs and the like) whose contents are not
// disk data. Asked of the folder searched first, then only where MountKey changes between a folder
// and its parent.
Result<bool> IsPseudoFileSystem(const std::string& folder);

// Blocks this process (every thread of it) has read from storage so far; fails where the system
// does not tell. While it grows, a walk waits on the disk rather than on the processors.
Result<std::int64_t> BlocksRead();

// ---- The engine's folder handles: a folder opened relative to its parent, read part by part.
//
// Paths given with a handle are the caller's names for what it opens (each folder's with its
// trailing separator); the injected faults are told by them (scan/FileSystemFaults.h).

struct FolderEntry {
  std::string_view Name;  // valid until the folder's next ReadEntries, or until it is reused
  EntryKind Kind = EntryKind::Unqueried;
  bool MayEnter = true;    // false for a folder-like link that is counted but never walked into
  std::int64_t Size = -1;  // full size of a file; -1 otherwise
  // What a file occupies on disk, as the platform's own tools count it; -1 where nothing says.
  std::int64_t Allocated = -1;
  // A file with more than one name, and its identity: its space is counted once per run.
  bool Linked = false;
  std::uint64_t Device = 0;
  std::uint64_t Inode = 0;
  std::uint64_t Links = 1;  // its number of names, where the platform says
  bool Regular = true;      // false for a link or a special file, where the platform says
};

struct FolderState;  // platform-defined
struct FolderStateDeleter {
  void operator()(FolderState* state) const;
};
using Folder = std::unique_ptr<FolderState, FolderStateDeleter>;

// A closed folder handle, to be filled by OpenRoot, OpenChild or Share (and reused after Close).
Folder NewFolder();
void Close(FolderState& folder);

// How opening a folder ended. Opened: ready to be read. NotEntered: it lies on a pseudo file
// system, and counts as a folder with nothing in it. Failed: the folder cannot be read, or is gone
// (Error.Gone()). EntryFailed: its parent lets its names be read but none be queried, so nothing
// is known of the entry; unless it is gone, the failure is the parent's.
enum class OpenState : std::uint8_t { Opened, NotEntered, Failed, EntryFailed };

struct OpenResult {
  OpenState State = OpenState::Failed;
  Outcome Error;                 // why, when Failed or EntryFailed
  bool OtherFileSystem = false;  // Opened, and on another file system than its parent
};

// Opens the folder to measure, links on the way followed; the last name only when followLink
// (otherwise a link there, or anything but a folder, fails, as a missing folder does).
OpenResult OpenRoot(const std::string& path, bool followLink, FolderState& into);

// Opens the subfolder at path, whose last name is name, one of parent's (which must be open), never
// through a link. name ends where its text ends: it comes from a directory record, or is the end
// of a string. Gone: it is gone, or no longer a folder.
OpenResult OpenChild(FolderState& parent, std::string_view path, std::string_view name,
                     FolderState& into);

enum class ReadState : std::uint8_t { More, Done };

// Reads the next part of an open folder's entries into entries, replacing what was there, so that
// a huge folder is walked while it is still being read. More: read again for the rest. A failure
// part way keeps what was read, and leaves nothing more to read.
Result<ReadState> ReadEntries(FolderState& folder, std::vector<FolderEntry>& entries);

// Reads all that is left of an open folder, appended to entries; the names read before stay valid.
// A failure part way keeps what was read.
Outcome ReadRest(FolderState& folder, std::vector<FolderEntry>& entries);

// Settles the kind and size of an Unqueried entry of the open folder at folderPath, read last by
// ReadEntries or ReadRest. Failed: the entry is gone, or the folder does not let its entries be
// queried; the entry is left as it was.
Outcome SizeEntry(FolderState& folder, std::string_view folderPath, FolderEntry& entry);

// What an open folder itself occupies on disk (its own records, not its entries'); -1 where the
// platform counts no space for a folder.
Result<std::int64_t> OwnAllocation(FolderState& folder);
// An open folder's own size (as the system gives it, not what lies in it); -1 where none.
Result<std::int64_t> OwnSize(FolderState& folder);

// Lets go of the system handle of a folder read to its end, to bound open handles on deep trees;
// Unpark takes it back through a child walked meanwhile (and still open). Unpark fails when the
// folder cannot be reached again as the same folder (gone: another one is there now).
void Park(FolderState& folder);
Outcome Unpark(FolderState& folder, FolderState& child);

// Takes back the handle of a parked folder by its path relative to ancestor (which must be open),
// each name opened in turn and never through a link, for when ".." of its child no longer leads to
// it. Fails as Unpark does.
Outcome Reopen(FolderState& folder, FolderState& ancestor, std::string_view relative);

// Makes into a second, independent handle on an open folder, for handing its subfolders to
// another thread.
Outcome Share(FolderState& folder, FolderState& into);

}  // namespace quillet::platform
