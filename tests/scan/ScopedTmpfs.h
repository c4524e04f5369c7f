// A tmpfs mounted on a folder for one scope, where the tests run as root: a file system of its
// own, for what differs between file systems (trash, -x, allocation).
#pragma once

#include <string>
#include <utility>

#include <sys/mount.h>

namespace quillet::testing {

class ScopedTmpfs {
 public:
  explicit ScopedTmpfs(std::string at) : m_at(std::move(at)) {
    m_mounted = ::mount("tmpfs", m_at.c_str(), "tmpfs", 0, nullptr) == 0;
  }
  ~ScopedTmpfs() {
    if (m_mounted) ::umount2(m_at.c_str(), MNT_DETACH);
  }
  ScopedTmpfs(const ScopedTmpfs&) = delete;
  ScopedTmpfs& operator=(const ScopedTmpfs&) = delete;
  bool Mounted() const { return m_mounted; }

 private:
  std::string m_at;
  bool m_mounted = false;
};

}  // namespace quillet::testing
