// Deletion to the freedesktop.org trash, so that the desktop's file manager can restore it.
#pragma once

#include <string>

namespace quillet::shell {

struct TrashOutcome {
  bool Trashed = false;
  std::string TrashedAs;  // the item's path inside the trash when Trashed
  std::string Error;      // why not, when not Trashed; the item is then untouched
};

// Moves path (a file, a folder or a link, which is moved itself) into the home trash
// ($XDG_DATA_HOME/Trash) with its .trashinfo record, or, when the item lies on another file
// system, into that file system's own trash at its top folder. The item is only ever renamed,
// never copied and deleted: when no trash on its file system can take it, it stays where it is.
TrashOutcome MoveToTrash(const std::string& path);

}  // namespace quillet::shell
