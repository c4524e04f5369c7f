// The calls of Platform.h that a fault can be injected into, as the system answers them: each
// platform file defines these, and Faults.cpp, the only caller, puts the faults in front of them.
#pragma once

#include "scan/platform/Platform.h"

namespace quillet::platform::system {

Outcome SearchNames(const std::string& folder, std::vector<FoundName>& names);
Result<EntryKind> QueryKind(const std::string& path);
Result<std::int64_t> QuerySize(const std::string& path);
OpenResult OpenRoot(const std::string& path, bool followLink, FolderState& into);
OpenResult OpenChild(FolderState& parent, std::string_view name, FolderState& into);

Outcome SizeEntry(FolderState& folder, FolderEntry& entry);

// The failures an injected fault stands for, as this system reports them: a search denied, and
// nothing at a path.
extern const Outcome kDenied;
extern const Outcome kNotFound;

}  // namespace quillet::platform::system
