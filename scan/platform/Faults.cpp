// The one place where injected faults meet the platform: every call a fault can touch passes here
// on its way to the system, and fails as the system would, so its callers cannot tell the two.
#include <atomic>
#include <string>

#include "scan/FileSystemFaults.h"
#include "scan/Text.h"
#include "scan/platform/Platform.h"
#include "scan/platform/System.h"

namespace quillet {

namespace {

std::atomic<const FileSystemFaults*> g_faults{nullptr};

}  // namespace

ScopedFileSystemFaults::ScopedFileSystemFaults(const FileSystemFaults& faults) {
  g_faults.store(&faults);
}

ScopedFileSystemFaults::~ScopedFileSystemFaults() {
  g_faults.store(nullptr);
}

namespace platform {

namespace {

const FileSystemFaults* Faults() {
  return g_faults.load(std::memory_order_acquire);
}

}  // namespace

Outcome SearchNames(const std::string& folder, std::vector<FoundName>& names) {
  if (const FileSystemFaults* faults = Faults(); faults && faults->SearchFails(folder)) {
    return system::kDenied;
  }
  return system::SearchNames(folder, names);
}

Result<EntryKind> QueryKind(const std::string& path) {
  if (const FileSystemFaults* faults = Faults(); faults && faults->Vanished(path)) {
    return system::kNotFound;
  }
  return system::QueryKind(path);
}

Result<std::int64_t> QuerySize(const std::string& path) {
  if (const FileSystemFaults* faults = Faults(); faults && faults->Vanished(path)) {
    return system::kNotFound;
  }
  return system::QuerySize(path);
}

OpenResult OpenRoot(const std::string& path, bool followLink, FolderState& into) {
  if (const FileSystemFaults* faults = Faults(); faults && faults->SearchFails(path)) {
    Close(into);
    return {OpenState::Failed, system::kDenied};
  }
  return system::OpenRoot(path, followLink, into);
}

namespace {

// The walk's calls with faults injected, kept out of line: the names the faults are told by are put
// together only then, and the normal way costs a load and a jump more than the system call.

[[gnu::noinline]] OpenResult OpenChildWithFaults(const FileSystemFaults& faults,
                                                 FolderState& parent, std::string_view path,
                                                 std::string_view name, FolderState& into) {
  const bool vanished = faults.Vanished(path);
  if (vanished || faults.SearchFails(std::string(path) + kPathSeparator)) {
    Close(into);
    return {OpenState::Failed, vanished ? system::kNotFound : system::kDenied};
  }
  return system::OpenChild(parent, name, into);
}

[[gnu::noinline]] Outcome SizeEntryWithFaults(const FileSystemFaults& faults, FolderState& folder,
                                              std::string_view folderPath, FolderEntry& entry) {
  const Outcome sized = system::SizeEntry(folder, entry);
  // A folder to walk into is asked about as it is opened.
  if (!sized.Ok() || (entry.Kind == EntryKind::Folder && entry.MayEnter)) return sized;
  std::string path(folderPath);
  path.append(entry.Name);
  return faults.Vanished(path) ? system::kNotFound : sized;
}

}  // namespace

OpenResult OpenChild(FolderState& parent, std::string_view path, std::string_view name,
                     FolderState& into) {
  if (const FileSystemFaults* faults = Faults()) {
    return OpenChildWithFaults(*faults, parent, path, name, into);
  }
  return system::OpenChild(parent, name, into);
}

Outcome SizeEntry(FolderState& folder, std::string_view folderPath, FolderEntry& entry) {
  if (const FileSystemFaults* faults = Faults()) {
    return SizeEntryWithFaults(*faults, folder, folderPath, entry);
  }
  return system::SizeEntry(folder, entry);
}

}  // namespace platform

}  // namespace quillet
