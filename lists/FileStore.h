// The file list's storage: the listed entries as a tree, each path built when it is asked for.
// Internal to lists/ (the model holds one); its own tests and benchmarks read it directly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include "lists/Rows.h"

namespace quillet {

// The entries of the file list in list order. Each keeps its parent (an entry of the same list),
// its own name, kind, sizes and selection; the path of an entry at the top of a listing, less
// its name, is kept once for all of them. About 20 bytes and the name per entry.
//
// Limits: at most kMaxEntries entries and 4 GiB of names (in 64 KiB chunks); Append refuses
// an entry past either (the caller stops listing, as on Cancel) and changes nothing.
class FileStore {
 public:
  static constexpr std::size_t kMaxEntries = 0xFFFFFFFEu;

  FileStore();
  ~FileStore();
  FileStore(const FileStore&) = delete;
  FileStore& operator=(const FileStore&) = delete;

  std::size_t Count() const { return m_count; }

  // The next entries are a listing of their own: none of them lies below an entry before.
  void BeginListing();
  // BeginListing for the walk of result row row, remembered for KeepRows.
  void BeginRow(RowId row);
  // Adds an entry at the end from its full path (the walk's). Its parent is the folder entry of
  // the same listing whose path is path's up to the last separator, if any. False, with nothing
  // added, when the store is full.
  bool Append(std::string_view path, bool isFolder, std::int64_t size, std::int64_t diskSize);

  // Entry index as a row; withPath builds its path, otherwise Path is left empty. The caption
  // views the store's own text: valid until the store changes.
  FileRow RowAt(std::size_t index, bool withPath) const;
  std::string PathAt(std::size_t index) const;
  // PathAt into path, whose capacity is reused.
  void PathInto(std::size_t index, std::string& path) const;
  std::string_view NameAt(std::size_t index) const;
  std::optional<std::size_t> ParentAt(std::size_t index) const;
  bool IsFolder(std::size_t index) const;
  bool IsSelected(std::size_t index) const;
  // True when the flag changed.
  bool SetSelected(std::size_t index, bool selected);

  // Every entry's path at once, for a sort that reads them many times, less the bytes they
  // all begin with (Shared): Text(i) is entry i's path after those, valid as long as the table
  // lives. Dropping what every path shares changes no order and saves its passes.
  class PathTable {
   public:
    std::string_view Shared() const { return m_shared; }
    std::string_view Text(std::size_t index) const {
      return {m_text.get() + m_begin[index], m_begin[index + 1] - m_begin[index]};
    }

   private:
    friend class FileStore;
    std::string m_shared;
    std::unique_ptr<char[]> m_text;
    std::vector<std::size_t> m_begin;
  };
  PathTable Paths() const;

  // Puts the entries into order (order[i]: the entry that goes to place i, each once); parents
  // follow their entries. What BeginRow recorded is forgotten: KeepRows then keeps nothing.
  void Reorder(const std::vector<std::size_t>& order);
  // Keeps, in their order, only the entries of the rows in keep listed since BeginRow, in the
  // order they were listed.
  void KeepRows(const std::unordered_set<RowId>& keep);

  void Clear();
  // The bytes the store holds: records, names, the listings' top paths, the overflow tables.
  std::size_t MemoryBytes() const;

 private:
  struct Record;
  struct Open {
    std::uint32_t Index;
    std::size_t PathLength;
  };
  struct RowRecords {
    RowId Row;
    std::size_t First;
    std::size_t End;
  };

  Record& At(std::size_t index);
  const Record& At(std::size_t index) const;
  // The overflow table holds field kSizeField or kDiskField of an entry under one key.
  static constexpr std::uint64_t kSizeField = 0;
  static constexpr std::uint64_t kDiskField = 1;
  static std::uint64_t OverflowKey(std::size_t index, std::uint64_t field) {
    return static_cast<std::uint64_t>(index) << 1 | field;
  }
  std::int64_t OverflowAt(std::size_t index, std::uint64_t field) const;
  std::size_t PathLengthOf(std::size_t index) const;
  void WritePath(std::size_t index, char* end, std::size_t skip = 0) const;
  bool StoreName(std::string_view name, Record& record);
  // Places entries move to: entry at old place i is now at moved(i), or gone when it says kGone.
  template <typename Moved>
  void MoveOverflow(const Moved& moved);

  // Records in blocks of a power of two: growing copies nothing, and finding a record is a
  // shift and a mask.
  static constexpr std::size_t kBlockShift = 12;
  static constexpr std::size_t kBlock = std::size_t{1} << kBlockShift;
  std::vector<std::unique_ptr<Record[]>> m_blocks;
  std::size_t m_count = 0;

  // Names in chunks that never move; a name's reference is chunk << kChunkShift | offset.
  static constexpr std::size_t kChunkShift = 16;
  static constexpr std::size_t kChunkSize = std::size_t{1} << kChunkShift;
  std::vector<std::unique_ptr<char[]>> m_chunks;
  std::size_t m_chunkUsed = kChunkSize;
  std::vector<std::string> m_longNames;  // names of kLongName bytes or more (imported scans)

  // What precedes the name of each listing's top entries (their path less the name).
  std::vector<std::string> m_tops;
  // The sizes a record cannot hold (a file of 4 GiB or more, a size on disk that is no whole
  // count of blocks below 2 TiB), by OverflowKey, sorted.
  std::vector<std::pair<std::uint64_t, std::int64_t>> m_overflow;

  // The folders holding the entry being appended, outermost first; m_openPath is the path of
  // the innermost, and each one's path is a prefix of it.
  std::vector<Open> m_open;
  std::string m_openPath;
  std::vector<RowRecords> m_rowsListed;
};

}  // namespace quillet
