// Where a row's folder is: the root rule the deletion keeps to, and whether anything is left.
#include "lists/Lists.h"

#include <algorithm>

#include "scan/Gloval.h"

namespace quillet {

bool IsRootLocation(std::string_view location, char separator) {
  const auto isSeparator = [separator](char c) {
    return c == separator || (separator == '\\' && c == '/');
  };
  std::string_view rest = location;
  std::size_t keptComponents = 0;  // components that belong to the root itself (a share)
  bool absolute = false;
  if (separator == '\\') {
    // The long-path and device prefixes name the same places as the paths after them (the
    // platform layer turns "\\.\" into "\\?\"). After either, "UNC" is the place above every
    // share and "UNC\server\share" a share, in any case, as the object names are.
    for (std::string_view prefix : {"\\\\?\\", "\\\\.\\"}) {
      if (!rest.starts_with(prefix)) continue;
      rest.remove_prefix(prefix.size());
      if (rest.size() >= 3 && CompareText(rest.substr(0, 3), "UNC") == 0 &&
          (rest.size() == 3 || isSeparator(rest[3]))) {
        rest.remove_prefix(3);
        keptComponents = 2;
        absolute = true;
      }
      break;
    }
    if (!absolute && rest.size() >= 2 && isSeparator(rest[0]) && isSeparator(rest[1])) {
      keptComponents = 2;  // \\server\share
      absolute = true;
    } else if (!absolute && rest.size() >= 2 && rest[1] == ':') {
      // "E:" alone is the current folder of drive E, which the row shows as the drive's root.
      rest.remove_prefix(2);
      if (rest.empty()) return true;
      absolute = isSeparator(rest[0]);
    }
  }
  if (!rest.empty() && isSeparator(rest[0])) absolute = true;
  // Walk the components: the location is a root when nothing is left below the root after
  // "." and ".." are applied. A relative path that climbs out of its start is refused as well,
  // since it does not name a folder below anything the row shows.
  std::int64_t depth = 0;
  std::size_t component = 0;
  while (!rest.empty()) {
    std::size_t end = 0;
    while (end < rest.size() && !isSeparator(rest[end]))
      ++end;
    const std::string_view name = rest.substr(0, end);
    rest.remove_prefix(std::min(end + 1, rest.size()));
    if (name.empty() || name == ".") continue;
    if (component < keptComponents) {
      ++component;
      continue;
    }
    if (name == "..") {
      if (depth == 0 && !absolute) return true;
      depth = std::max<std::int64_t>(0, depth - 1);
    } else {
      ++depth;
    }
  }
  return depth == 0;
}

bool EntryExists(std::string_view path) {
  return !IsGone(path);
}

}  // namespace quillet
