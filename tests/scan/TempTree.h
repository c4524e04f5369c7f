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
#endif

// The oracle of the size on disk, for each path in order; empty when it cannot be had. On Linux
// what `du -s -B1 OPTIONS PATH...` says (hard links once, in the first path that holds them); on
// Windows the sum of the allocation sizes of the files below each path, each file opened and
// asked for its own (OPTIONS unused).
std::vector<std::int64_t> DiskUsage(const std::vector<std::string>& paths,
                                    const std::string& options = {});

}  // namespace quillet::testing
