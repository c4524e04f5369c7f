// Entry lists and file sizes, one attribute query per entry through the platform layer.
#include "scan/Gloval.h"

#include "scan/Saturate.h"
#include "scan/Text.h"
#include "scan/platform/Platform.h"

namespace quillet {

namespace {

struct CollectRequest {
  EntryList& Entries;
  bool Recurse;
  bool IncludeFolders;
  bool IncludeFiles;
};

// Appends the entries of folder (with its separator); mountKey identifies folder's file system.
void CollectInto(const std::string& folder, platform::Result<std::uint64_t> mountKey,
                 const CollectRequest& request) {
  // The names are read before descending, so no search stays open per level of depth.
  std::vector<platform::FoundName> names;
  if (!platform::SearchNames(folder, names).Ok()) return;
  std::string full;
  for (const auto& found : names) {
    full.assign(folder).append(found.Name);
    if (!IsFolder(full)) {
      if (request.IncludeFiles) request.Entries.push_back(full);
      continue;
    }
    if (request.IncludeFolders) request.Entries.push_back(full);
    if (!request.Recurse || found.NameSurrogate) continue;
    // The file system is asked wherever the mount changes, or cannot be told.
    const platform::Result<std::uint64_t> childKey = platform::MountKey(full);
    const bool sameMount = childKey.Ok() && mountKey.Ok() && *childKey == *mountKey;
    if (!sameMount && platform::IsPseudoFileSystem(full).ValueOr(false)) continue;
    CollectInto(WithTrailingSeparator(full), childKey, request);
  }
}

}  // namespace

std::int64_t CollectEntries(std::string_view folder, EntryList& entries, bool recurse,
                            bool includeFolders, bool includeFiles) {
  const std::string searched = WithTrailingSeparator(folder);
  const CollectRequest request{entries, recurse, includeFolders, includeFiles};
  // A pseudo file system lists nothing, whether it is met inside a tree or searched itself.
  if (!platform::IsPseudoFileSystem(searched).ValueOr(false)) {
    CollectInto(searched, platform::MountKey(searched), request);
  }
  return static_cast<std::int64_t>(entries.size());
}

std::int64_t CollectSubfolders(std::string_view folder, EntryList& entries) {
  const std::string searched = WithTrailingSeparator(folder);
  std::vector<platform::FoundName> names;
  if (platform::IsPseudoFileSystem(searched).ValueOr(false) ||
      !platform::SearchNames(searched, names).Ok()) {
    return static_cast<std::int64_t>(entries.size());
  }
  std::string full;
  for (const auto& found : names) {
    full.assign(searched).append(found.Name);
    const bool isFolder = found.Kind == platform::EntryKind::Unqueried
                              ? IsFolder(full)
                              : found.Kind == platform::EntryKind::Folder;
    if (isFolder) entries.push_back(full);
  }
  return static_cast<std::int64_t>(entries.size());
}

std::int64_t FileSizeOf(std::string_view path) {
  return platform::QuerySize(std::string(path)).ValueOr(-1);
}

bool IsFolder(std::string_view path) {
  const platform::Result<platform::EntryKind> kind = platform::QueryKind(std::string(path));
  return kind.Ok() && *kind == platform::EntryKind::Folder;
}

bool IsGone(std::string_view path) {
  return platform::QueryKind(std::string(path)).Failure().Gone();
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
