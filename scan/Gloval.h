// Folder enumeration and statistics as the lists use them: ordered path lists and file sizes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quillet {

// Full paths, in the order they were found (depth-first pre-order for a recursive listing).
using EntryList = std::vector<std::string>;

// Appends the entries below folder (hidden and system ones included, never "." and "..") and
// returns the number of strings in entries afterwards. A folder that cannot be searched adds
// nothing. Links and pseudo file systems are never walked into; a folder on a pseudo file system,
// searched itself, adds nothing either.
std::int64_t CollectEntries(std::string_view folder, EntryList& entries, bool recurse,
                            bool includeFolders, bool includeFiles);

// Appends the folders directly inside folder (a link to one is not a folder), in directory order,
// and returns the number of strings in entries afterwards: the start-up population's listing.
// The kinds are the directory search's own, so a name costs no query of its own where the file
// system's search tells its kind. A folder that cannot be searched, or is on a pseudo file
// system, adds nothing.
std::int64_t CollectSubfolders(std::string_view folder, EntryList& entries);

// The full 64-bit size of the file at path, or -1 when path is a folder or no file is there.
std::int64_t FileSizeOf(std::string_view path);

// True when path is a folder (a link to one is not). A path that cannot be queried is not.
bool IsFolder(std::string_view path);

// True when the file system says nothing is at path any more; a link is asked about itself, never
// followed. A path that cannot be queried (access denied on the way) is not gone.
bool IsGone(std::string_view path);

// Totals the sizes and counts the files of a list; folders are skipped, and so is an entry that
// can no longer be queried (it vanished meanwhile): it is neither a file nor a folder then. The
// total stops at INT64_MAX rather than wrap.
void SumFileSizes(const EntryList& entries, std::int64_t& totalSize, std::int64_t& fileCount);

}  // namespace quillet
