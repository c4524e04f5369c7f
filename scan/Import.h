// A scan read back from ncdu's JSON export (format 1.x, as ncdu 1 and 2, gdu and quillet-report
// write it): the tree in memory, measured and listed as a walk of the same tree would be.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "scan/Engine.h"

namespace quillet {

// Where an export's bytes come from: fills up to size bytes of buffer and returns how many, 0 at
// the end, or nothing when reading failed (reason says why).
using ExportSource = std::function<std::optional<std::size_t>(char* buffer, std::size_t size)>;

// Why an export was not read: the offset of the byte where reading stopped, and the reason.
struct ImportFailure {
  std::uint64_t Offset = 0;
  std::string Reason;
  bool NotOpened = false;  // the file itself could not be opened: no offset
};

// An entry left out of the scan, as the export says: by a pattern (neither counted nor listed),
// or a folder not entered because another or a pseudo file system begins there (a folder).
enum class Exclusion : std::uint8_t { None, Pattern, OtherFileSystem, PseudoFileSystem, Other };

class ImportedTree {
 public:
  using Index = std::uint32_t;
  static constexpr Index kNone = 0xFFFFFFFFu;
  // Deeper nesting is refused: no file system holds such a tree, and a hostile file would only
  // make the reader's stacks grow.
  static constexpr std::size_t kDeepest = 32768;
  // The most bytes read without a value ending: a name no file system allows, or a file meant to
  // make the reader hold it.
  static constexpr std::size_t kLongestValue = std::size_t{1} << 20;

  struct Entry {
    std::string_view Name;
    bool IsFolder = false;  // a folder of the export (one with its own list of entries)
    bool ReadError = false;
    bool NotRegular = false;  // a link or a special file
    bool HardLinked = false;
    Exclusion Excluded = Exclusion::None;
    std::int64_t Size = 0;  // asize
    std::int64_t Disk = 0;  // dsize (the format leaves a 0 out)
    std::uint64_t Device = 0;
    std::uint64_t Inode = 0;
  };

  // Reads a whole export. The tree's root is the scanned folder; names keep their bytes as the
  // export has them.
  static std::unique_ptr<ImportedTree> Read(const ExportSource& source, ImportFailure& failure);
  static std::unique_ptr<ImportedTree> Read(std::string_view text, ImportFailure& failure);
  // Reads the export in the file at path ("-": standard input); a file that cannot be opened or
  // read fails with the system's reason.
  static std::unique_ptr<ImportedTree> ReadFile(const std::string& path, ImportFailure& failure);

  ~ImportedTree();
  ImportedTree(const ImportedTree&) = delete;
  ImportedTree& operator=(const ImportedTree&) = delete;

  std::size_t Size() const;
  Entry At(Index node) const;
  // One past the last node of node's subtree: its entries are the nodes in between, in the
  // export's order (depth-first pre-order).
  Index End(Index node) const;
  // The folders directly below the root that a walk would measure (none left out by a pattern),
  // in the export's order.
  std::vector<Index> TopFolders() const;
  // The node's path: the root's name, then each name below it after separator.
  std::string PathOf(Index node, char separator) const;
  // The folder holding node; kNone for the root.
  Index ParentOf(Index node) const;
  // The bytes the tree keeps: its entries, their names and what does not fit an entry.
  std::size_t MemoryBytes() const;
  // The node whose PathOf(separator) is path, if any.
  std::optional<Index> Find(std::string_view path, char separator) const;

  // The statistics a walk of node's folder gives, counted as the engine counts them: files and
  // their bytes, folders (one not entered counts), folders that could not be searched (node
  // included); entries left out by a pattern count nowhere.
  FolderStatistics Statistics(Index node) const;
  // The allocated bytes the export gives for node's folder and everything below it, a file with
  // several links once: once in all the calls given the same seen, as a run of walks counts it.
  using SeenLinks = std::set<std::pair<std::uint64_t, std::uint64_t>>;
  std::int64_t DiskSize(Index node, SeenLinks& seen) const;
  std::int64_t DiskSize(Index node) const;
  // Visits the entries below node as a walk lists them (what a pattern left out is not listed);
  // paths as PathOf gives them. False when visit asked to stop.
  bool List(Index node, char separator, const TreeVisitor& visit) const;

 private:
  struct Node;
  class Builder;
  ImportedTree();

  // A growing array of plain values. It grows with realloc, which moves a large block by remapping
  // its pages rather than copying them: a tree of millions of entries is built without copies.
  template <typename T>
  class Array {
   public:
    Array() = default;
    ~Array();
    Array(const Array&) = delete;
    Array& operator=(const Array&) = delete;
    const T& operator[](std::size_t at) const { return m_data[at]; }
    T& operator[](std::size_t at) { return m_data[at]; }
    const T* data() const { return m_data; }
    std::size_t size() const { return m_size; }
    std::size_t capacity() const { return m_capacity; }
    bool empty() const { return m_size == 0; }
    void append(const T* values, std::size_t count);
    void push_back(const T& value) { append(&value, 1); }
    void shrink_to_fit();
    // Keeps the first size values (size no more than now).
    void truncate(std::size_t size) { m_size = size; }

   private:
    T* m_data = nullptr;
    std::size_t m_size = 0;
    std::size_t m_capacity = 0;
  };

  std::string_view NameOf(Index node) const;
  std::int64_t SizeOf(Index node) const;
  std::int64_t DiskOf(Index node) const;

  // A folder's subtree and parent, in node order.
  struct Folder {
    Index Node;
    Index End;
    Index Parent;
  };
  const Folder* FolderOf(Index node) const;

  Array<Node> m_nodes;
  std::vector<Folder> m_folders;
  Array<char> m_names;
  // (device, inode) of the entries with several links, by node.
  std::vector<std::pair<Index, std::pair<std::uint64_t, std::uint64_t>>> m_links;
  std::vector<std::pair<Index, std::int64_t>> m_bigSizes, m_bigDisks;  // in node order
};

}  // namespace quillet
