// Entry lists and file sizes, one attribute query per entry through the platform layer.
#include "scan/Gloval.h"

#include <atomic>

#include "scan/FileSystemFaults.h"
#include "scan/Saturate.h"
#include "scan/Text.h"
#include "scan/platform/Platform.h"

namespace quillet {

namespace {

std::atomic<const FileSystemFaults*> g_faults{nullptr};

struct CollectRequest {
  EntryList& Entries;
  bool Recurse;
  bool IncludeFolders;
  bool IncludeFiles;
};

// Appends the entries of folder (with its separator); mountKey identifies folder's file system.
void CollectInto(const std::string& folder, std::uint64_t mountKey, const CollectRequest& request) {
  const FileSystemFaults* faults = ActiveFileSystemFaults();
  if (faults && faults->SearchFails(folder)) return;
  // The names are read before descending, so no search stays open per level of depth.
  std::vector<platform::FoundName> names;
  if (!platform::SearchNames(folder, names)) return;
  std::string full;
  for (const auto& found : names) {
    full.assign(folder).append(found.Name);
    if (!IsFolder(full)) {
      if (request.IncludeFiles) request.Entries.push_back(full);
      continue;
    }
    if (request.IncludeFolders) request.Entries.push_back(full);
    if (!request.Recurse || found.NameSurrogate) continue;
    const std::uint64_t childKey = platform::MountKey(full);
    if (childKey != mountKey && platform::IsPseudoFileSystem(full)) continue;
    CollectInto(WithTrailingSeparator(full), childKey, request);
  }
}

}  // namespace

ScopedFileSystemFaults::ScopedFileSystemFaults(const FileSystemFaults& faults) {
  g_faults.store(&faults);
}

ScopedFileSystemFaults::~ScopedFileSystemFaults() {
  g_faults.store(nullptr);
}

const FileSystemFaults* ActiveFileSystemFaults() {
  return g_faults.load(std::memory_order_acquire);
}

std::int64_t CollectEntries(std::string_view folder, EntryList& entries, bool recurse,
                            bool includeFolders, bool includeFiles) {
  const std::string searched = WithTrailingSeparator(folder);
  const CollectRequest request{entries, recurse, includeFolders, includeFiles};
  // A pseudo file system lists nothing, whether it is met inside a tree or searched itself.
  if (!platform::IsPseudoFileSystem(searched)) {
    CollectInto(searched, platform::MountKey(searched), request);
  }
  return static_cast<std::int64_t>(entries.size());
}

std::int64_t FileSizeOf(std::string_view path) {
  const std::string full(path);
  const FileSystemFaults* faults = ActiveFileSystemFaults();
  if (faults && faults->Vanished(full)) return -1;
  return platform::QuerySize(full);
}

bool IsFolder(std::string_view path) {
  const std::string full(path);
  const FileSystemFaults* faults = ActiveFileSystemFaults();
  if (faults && faults->Vanished(full)) return false;
  return platform::QueryIsFolder(full);
}

void SumFileSizes(const EntryList& entries, std::int64_t& totalSize, std::int64_t& fileCount) {
  totalSize = 0;
  fileCount = 0;
  for (const auto& entry : entries) {
    if (IsFolder(entry)) continue;
    const std::int64_t size = FileSizeOf(entry);
    // Gone since it was listed: neither a file nor a folder any more.
    if (size < 0) continue;
    totalSize = SaturatingAdd(totalSize, size);
    ++fileCount;
  }
}

}  // namespace quillet
