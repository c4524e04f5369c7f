// The file list's storage, shared by the files of the model; internal to lists/.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

#include "lists/Lists.h"

namespace quillet {

// The file list: one arena of path text in fixed chunks (never moved, so views stay valid and
// growth copies nothing) and one compact record per row. Rows are staged while a file view
// adds them and published to the views in batches.
struct ListsModel::FileStore {
  static constexpr std::size_t kChunkSize = std::size_t{1} << 20;
  static constexpr std::uint8_t kFolder = 1;
  static constexpr std::uint8_t kSelected = 2;

  struct Record {
    std::int64_t Size;
    std::int64_t DiskSize;
    std::uint64_t PathRef;  // chunk index << 32 | offset in the chunk
    std::uint32_t PathLength;
    std::uint8_t Flags;
    std::uint16_t NameLength;  // of the name at the end of the path; kLongName if longer
  };
  static constexpr std::uint16_t kLongName = 0xFFFF;

  // The records in blocks of a power of two: growing copies nothing, and finding a record is a
  // shift and a mask (sorts look rows up in any order).
  class RecordBlocks {
   public:
    static constexpr std::size_t kShift = 14;
    static constexpr std::size_t kBlock = std::size_t{1} << kShift;

    std::size_t size() const { return m_size; }
    Record& operator[](std::size_t index) {
      return m_blocks[index >> kShift][index & (kBlock - 1)];
    }
    const Record& operator[](std::size_t index) const {
      return m_blocks[index >> kShift][index & (kBlock - 1)];
    }
    void push_back(const Record& record) {
      if ((m_size & (kBlock - 1)) == 0) m_blocks.push_back(std::make_unique<Record[]>(kBlock));
      (*this)[m_size++] = record;
    }
    void clear() {
      std::vector<std::unique_ptr<Record[]>>().swap(m_blocks);
      m_size = 0;
    }
    // Keeps the first size records (size no more than now).
    void Truncate(std::size_t size) { m_size = size; }

   private:
    std::vector<std::unique_ptr<Record[]>> m_blocks;
    std::size_t m_size = 0;
  };

  std::vector<std::unique_ptr<char[]>> Chunks;
  std::size_t ChunkUsed = 0;
  std::size_t ChunkCapacity = 0;
  RecordBlocks Records;
  std::size_t Published = 0;
  // The records of each row a one-walk run listed into this store, in the order of the run.
  struct RowRecords {
    RowId Row;
    std::size_t First;
    std::size_t End;
  };
  std::vector<RowRecords> RowsListed;

  std::string_view PathOf(const Record& record) const {
    const char* chunk = Chunks[record.PathRef >> 32].get();
    return {chunk + (record.PathRef & 0xFFFFFFFFu), record.PathLength};
  }

  // The row's name, found without reading its text (a sort asks for every row's).
  std::string_view NameOf(const Record& record) const {
    const std::string_view path = PathOf(record);
    if (record.NameLength == kLongName) return FileRowOf(path, false, 0).Caption;
    return path.substr(path.size() - record.NameLength);
  }

  FileRow RowOf(const Record& record) const {
    FileRow row;
    row.Path = PathOf(record);
    row.Caption = NameOf(record);
    row.IsFolder = (record.Flags & kFolder) != 0;
    row.Size = record.Size;
    row.DiskSize = record.DiskSize;
    row.Selected = (record.Flags & kSelected) != 0;
    return row;
  }

  void Append(std::string_view path, bool isFolder, std::int64_t size, std::int64_t diskSize) {
    if (Chunks.empty() || ChunkCapacity - ChunkUsed < path.size()) {
      ChunkCapacity = std::max(kChunkSize, path.size());
      Chunks.push_back(std::make_unique_for_overwrite<char[]>(ChunkCapacity));
      ChunkUsed = 0;
    }
    if (!path.empty()) std::memcpy(Chunks.back().get() + ChunkUsed, path.data(), path.size());
    const std::uint64_t ref = (static_cast<std::uint64_t>(Chunks.size() - 1) << 32) | ChunkUsed;
    ChunkUsed += path.size();
    const std::size_t name = FileRowOf(path, isFolder, size).Caption.size();
    Records.push_back(Record{isFolder ? -1 : size, diskSize, ref,
                             static_cast<std::uint32_t>(path.size()),
                             static_cast<std::uint8_t>(isFolder ? kFolder : 0),
                             static_cast<std::uint16_t>(std::min<std::size_t>(name, kLongName))});
  }

  void Clear() {
    RowsListed.clear();
    Records.clear();
    std::vector<std::unique_ptr<char[]>>().swap(Chunks);
    ChunkUsed = ChunkCapacity = 0;
    Published = 0;
  }
};

}  // namespace quillet
