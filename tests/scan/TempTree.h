// Real temporary folder trees for the scanning tests, made and removed with the platform's own
// calls so that long paths and odd names work on both platforms.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quillet::testing {

// A fresh folder under the system's temporary folder, removed with everything below it.
class TempTree {
 public:
  TempTree();
  ~TempTree();
  TempTree(const TempTree&) = delete;
  TempTree& operator=(const TempTree&) = delete;

  // The tree's own folder, without a trailing separator.
  const std::string& Root() const { return m_root; }
  // Root joined with a relative path written with '/', in the platform's separators.
  std::string Path(const std::string& relative) const;

  // Each returns the full path of what it made, making missing parents; a folder may exist
  // already. Files hold no data on disk.
  std::string Folder(const std::string& relative);
  std::string File(const std::string& relative, std::int64_t size = 0);

 private:
  std::string m_root;
};

// Full-path operations that work beyond the platform's ordinary path length.
bool MakeFolderAt(const std::string& path);
bool MakeFileAt(const std::string& path, std::int64_t size);

#ifdef _WIN32
std::wstring Wide(const std::string& text);
#else
// The oracle of the size on disk: what `du -s -B1 OPTIONS PATH...` says of each path, in order
// (hard links counted once, in the first path that holds them). Empty when du fails.
std::vector<std::int64_t> DiskUsage(const std::vector<std::string>& paths,
                                    const std::string& options = {});
#endif

}  // namespace quillet::testing
