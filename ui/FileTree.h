// The file view's entries as the treemap's tree: each file row an entry in depth-first
// pre-order by path, whatever order the file list is sorted in.
#pragma once

#include <cstddef>
#include <functional>
#include <vector>

#include "lists/Lists.h"
#include "scan/Text.h"
#include "ui/Treemap.h"

namespace quillet {

struct FileTree {
  std::vector<treemap::Entry> Entries;  // in pre-order by path
  std::vector<std::size_t> Rows;        // Rows[i]: the file row of Entries[i]
};

// The tree of count rows read through rowAt. An entry's parent is the nearest folder row whose
// path, with a separator after it, begins the entry's path; an entry with no such row (the top
// of a listing below a result row) has none. Types are keyed by each file's name in keys.
FileTree FileTreeOf(std::size_t count, const std::function<FileRow(std::size_t)>& rowAt,
                    treemap::TypeKeys& keys, char separator = kPathSeparator);
// The tree of the model's file list, each entry's parent the one the model keeps (FileParentAt):
// the same tree as the one read through FileRowAt, unless two listings overlap (a result row
// below another's folder), whose entries then stay each under their own listing.
FileTree FileTreeOf(const ListsModel& model, treemap::TypeKeys& keys);

}  // namespace quillet
