// Faults that a real tree cannot show to a root user, injected into the scanning routines by tests.
#pragma once

#include <string_view>

namespace quillet {

class FileSystemFaults {
 public:
  virtual ~FileSystemFaults() = default;
  // True: the search of folder (given with its trailing separator) fails, as when access is denied.
  virtual bool SearchFails(std::string_view /*folder*/) const { return false; }
  // True: the entry at path is gone when it is queried, even when its folder's search found it.
  virtual bool Vanished(std::string_view /*path*/) const { return false; }
};

// While alive, the platform layer consults faults below every call they can touch, so that each
// caller meets them as it meets a real failure. One at a time; the scans must not outlive it.
class ScopedFileSystemFaults {
 public:
  explicit ScopedFileSystemFaults(const FileSystemFaults& faults);
  ~ScopedFileSystemFaults();
  ScopedFileSystemFaults(const ScopedFileSystemFaults&) = delete;
  ScopedFileSystemFaults& operator=(const ScopedFileSystemFaults&) = delete;
};

}  // namespace quillet
