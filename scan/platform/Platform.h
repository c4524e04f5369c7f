// What each platform file gives the scanning core; internal to scan/.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace quillet::platform {

// ---- Path queries, one system call (or search) each, as the entry-list routines use them.

struct FoundName {
  std::string Name;
  bool NameSurrogate = false;  // a junction or other link-like reparse point: never walked into
};

// The names in folder (given with its trailing separator), "." and ".." left out, hidden ones
// included. False when the search could not start; names then stays empty.
bool SearchNames(const std::string& folder, std::vector<FoundName>& names);

// The attribute query: true for a folder (not a link to one); false when path cannot be queried.
bool QueryIsFolder(const std::string& path);

// The full size of the non-folder at path (a link's own size), or -1 for a folder or nothing.
std::int64_t QuerySize(const std::string& path);

// Identifies the file system holding folder: equal keys, same mount. 0 when it cannot be told.
std::uint64_t MountKey(const std::string& folder);

// True when folder lies on a pseudo file system (proc, sysfs and the like) whose contents are not
// disk data. Asked of the folder searched first, then only where MountKey changes between a folder
// and its parent.
bool IsPseudoFileSystem(const std::string& folder);

// Blocks this process (every thread of it) has read from storage so far, or -1 where the system
// does not tell. While it grows, a walk waits on the disk rather than on the processors.
std::int64_t BlocksRead();

// ---- The engine's folder handles: a folder opened relative to its parent, read part by part.

// Unsized: not a folder as far as the search tells; SizeEntry learns its kind and size.
enum class EntryKind : std::uint8_t { File, Folder, Vanished, Unsized };

struct FolderEntry {
  std::string_view Name;  // valid until the folder's next ReadEntries, or until it is reused
  EntryKind Kind = EntryKind::File;
  bool MayEnter = true;    // false for a folder-like link that is counted but never walked into
  std::int64_t Size = -1;  // full size of a file; -1 otherwise
};

struct FolderState;  // platform-defined
struct FolderStateDeleter {
  void operator()(FolderState* state) const;
};
using Folder = std::unique_ptr<FolderState, FolderStateDeleter>;

// A closed folder handle, to be filled by OpenRoot or OpenChild (and reused after Close).
Folder NewFolder();
void Close(FolderState& folder);

// ParentUnsearchable: the parent lists its names but lets none be queried; nothing is known of
// the entry, and the parent counts as unreadable.
enum class OpenResult { Opened, Unreadable, Vanished, NotEntered, ParentUnsearchable };

// Opens the folder to measure, links on the way followed; the last name only when followLink
// (otherwise a link there, or anything but a folder, is Unreadable, as a missing folder is).
// NotEntered: it lies on a pseudo file system, and so counts as a folder with nothing in it.
OpenResult OpenRoot(const std::string& path, bool followLink, FolderState& into);

// Opens the subfolder name of parent (which must be open), never through a link. NotEntered: a
// pseudo file system is mounted there. Vanished: it is gone, or no longer a folder.
OpenResult OpenChild(FolderState& parent, std::string_view name, FolderState& into);

// More: read again for the rest. Failed: the search failed part way (what was read stays).
enum class ReadState { More, Done, Failed };

// Reads the next part of an open folder's entries into entries, replacing what was there, so that
// a huge folder is walked while it is still being read.
ReadState ReadEntries(FolderState& folder, std::vector<FolderEntry>& entries);

// Reads all that is left of an open folder, appended to entries; the names read before stay valid.
// Never More.
ReadState ReadRest(FolderState& folder, std::vector<FolderEntry>& entries);

// Learns the kind and size of an Unsized entry of an open folder, read last by ReadEntries or
// ReadRest. Vanished when it is gone or cannot be queried; false only for the latter, when the
// folder does not let its entries be queried.
bool SizeEntry(FolderState& folder, FolderEntry& entry);

// Lets go of the system handle of a folder read to its end, to bound open handles on deep trees;
// Unpark takes it back through a child walked meanwhile (and still open). False: the folder cannot
// be reached again as the same folder.
void Park(FolderState& folder);
bool Unpark(FolderState& folder, FolderState& child);

// Takes back the handle of a parked folder by its path relative to ancestor (which must be open),
// each name opened in turn and never through a link, for when ".." of its child no longer leads to
// it. False: that path does not lead to the same folder any more.
bool Reopen(FolderState& folder, FolderState& ancestor, std::string_view relative);

// A second, independent handle on an open folder, for handing its subfolders to another thread.
Folder Share(FolderState& folder);

}  // namespace quillet::platform
