// The file list's tree of entries: appending from the walk's paths, building paths back, and
// keeping parents right when entries move.
#include "lists/FileStore.h"

#include <algorithm>
#include <cstring>

#include "scan/Text.h"

namespace quillet {

namespace {

constexpr std::uint8_t kFolder = 1;
constexpr std::uint8_t kSelected = 2;
constexpr std::uint8_t kTop = 4;  // Parent is an index into the top paths, not an entry

constexpr std::uint16_t kLongName = 0xFFFF;  // NameRef is an index into the long names
constexpr std::uint32_t kNoDiskSize = 0xFFFFFFFEu;
constexpr std::uint32_t kOverflow = 0xFFFFFFFFu;  // the value is in the overflow table
constexpr std::int64_t kBlockBytes = 512;
constexpr std::uint32_t kGone = 0xFFFFFFFFu;

// 4 GiB of names in chunks of kChunkSize.
constexpr std::size_t kMaxChunks = std::size_t{1} << 16;

}  // namespace

// 20 bytes. A file's size below 4 GiB and a size on disk in blocks of 512 bytes (every whole
// count up to 2 TiB) are held exactly; anything else goes to the overflow table.
struct FileStore::Record {
  std::uint32_t Size;  // of a file; a folder's is -1
  std::uint32_t DiskBlocks;
  std::uint32_t Parent;
  std::uint32_t NameRef;
  std::uint16_t NameLength;
  std::uint8_t Flags;
};

FileStore::FileStore() = default;
FileStore::~FileStore() = default;

FileStore::Record& FileStore::At(std::size_t index) {
  return m_blocks[index >> kBlockShift][index & (kBlock - 1)];
}

const FileStore::Record& FileStore::At(std::size_t index) const {
  return m_blocks[index >> kBlockShift][index & (kBlock - 1)];
}

void FileStore::BeginListing() {
  m_open.clear();
  m_openPath.clear();
}

void FileStore::BeginRow(RowId row) {
  BeginListing();
  m_rowsListed.push_back({row, m_count, m_count});
}

bool FileStore::StoreName(std::string_view name, Record& record) {
  if (name.size() >= kLongName) {
    if (m_longNames.size() >= kGone) return false;
    record.NameRef = static_cast<std::uint32_t>(m_longNames.size());
    record.NameLength = kLongName;
    m_longNames.emplace_back(name);
    return true;
  }
  if (kChunkSize - m_chunkUsed < name.size()) {
    if (m_chunks.size() == kMaxChunks) return false;
    m_chunks.push_back(std::make_unique_for_overwrite<char[]>(kChunkSize));
    m_chunkUsed = 0;
  }
  record.NameRef = static_cast<std::uint32_t>(((m_chunks.size() - 1) << kChunkShift) | m_chunkUsed);
  record.NameLength = static_cast<std::uint16_t>(name.size());
  if (!name.empty()) std::memcpy(m_chunks.back().get() + m_chunkUsed, name.data(), name.size());
  m_chunkUsed += name.size();
  return true;
}

bool FileStore::Append(std::string_view path, bool isFolder, std::int64_t size,
                       std::int64_t diskSize) {
  if (m_count >= kMaxEntries) return false;
  const std::size_t at = path.rfind(kPathSeparator);
  const std::size_t nameBegin = at == std::string_view::npos ? 0 : at + 1;
  const std::string_view name = path.substr(nameBegin);
  Record record{};
  if (!StoreName(name, record)) return false;
  // The parent is the innermost open folder whose path is what precedes the separator.
  const std::size_t folderLength = nameBegin == 0 ? std::string_view::npos : nameBegin - 1;
  while (!m_open.empty() &&
         !(m_open.back().PathLength == folderLength &&
           path.starts_with(std::string_view(m_openPath).substr(0, m_open.back().PathLength)))) {
    m_open.pop_back();
  }
  if (!m_open.empty()) {
    record.Parent = m_open.back().Index;
  } else {
    const std::string_view top = path.substr(0, nameBegin);
    if (m_tops.empty() || m_tops.back() != top) m_tops.emplace_back(top);
    record.Parent = static_cast<std::uint32_t>(m_tops.size() - 1);
    record.Flags |= kTop;
  }
  if (isFolder) {
    record.Flags |= kFolder;
  } else if (size >= 0 && size < kOverflow) {
    record.Size = static_cast<std::uint32_t>(size);
  } else {
    record.Size = kOverflow;
    m_overflow.emplace_back(OverflowKey(m_count, kSizeField), size);
  }
  if (diskSize == -1) {
    record.DiskBlocks = kNoDiskSize;
  } else if (diskSize >= 0 && diskSize % kBlockBytes == 0 && diskSize / kBlockBytes < kNoDiskSize) {
    record.DiskBlocks = static_cast<std::uint32_t>(diskSize / kBlockBytes);
  } else {
    record.DiskBlocks = kOverflow;
    m_overflow.emplace_back(OverflowKey(m_count, kDiskField), diskSize);
  }
  if ((m_count & (kBlock - 1)) == 0 && (m_count >> kBlockShift) == m_blocks.size())
    m_blocks.push_back(std::make_unique_for_overwrite<Record[]>(kBlock));
  At(m_count) = record;
  if (isFolder) {
    m_open.push_back({static_cast<std::uint32_t>(m_count), path.size()});
    m_openPath.assign(path);
  }
  ++m_count;
  if (!m_rowsListed.empty()) m_rowsListed.back().End = m_count;
  return true;
}

std::string_view FileStore::NameAt(std::size_t index) const {
  const Record& record = At(index);
  if (record.NameLength == kLongName) return m_longNames[record.NameRef];
  return {m_chunks[record.NameRef >> kChunkShift].get() + (record.NameRef & (kChunkSize - 1)),
          record.NameLength};
}

std::optional<std::size_t> FileStore::ParentAt(std::size_t index) const {
  const Record& record = At(index);
  if ((record.Flags & kTop) != 0) return std::nullopt;
  return record.Parent;
}

bool FileStore::IsFolder(std::size_t index) const {
  return (At(index).Flags & kFolder) != 0;
}

bool FileStore::IsSelected(std::size_t index) const {
  return (At(index).Flags & kSelected) != 0;
}

bool FileStore::SetSelected(std::size_t index, bool selected) {
  std::uint8_t& flags = At(index).Flags;
  const auto updated = static_cast<std::uint8_t>(selected ? flags | kSelected : flags & ~kSelected);
  const bool changed = updated != flags;
  flags = updated;
  return changed;
}

std::int64_t FileStore::OverflowAt(std::size_t index, std::uint64_t field) const {
  const std::uint64_t key = OverflowKey(index, field);
  const auto found = std::lower_bound(m_overflow.begin(), m_overflow.end(), key,
                                      [](const std::pair<std::uint64_t, std::int64_t>& entry,
                                         std::uint64_t at) { return entry.first < at; });
  return found->second;
}

std::size_t FileStore::PathLengthOf(std::size_t index) const {
  std::size_t length = 0;
  for (;;) {
    length += NameAt(index).size();
    const Record& record = At(index);
    if ((record.Flags & kTop) != 0) return length + m_tops[record.Parent].size();
    ++length;  // the separator
    index = record.Parent;
  }
}

// Writes the path of index, less its first skip bytes, so that it ends just before end: from
// its name up to its top.
void FileStore::WritePath(std::size_t index, char* end, std::size_t skip) const {
  for (;;) {
    const std::string_view name = NameAt(index);
    end -= name.size();
    if (!name.empty()) std::memcpy(end, name.data(), name.size());
    const Record& record = At(index);
    if ((record.Flags & kTop) != 0) {
      const std::string& top = m_tops[record.Parent];
      if (top.size() > skip)
        std::memcpy(end - (top.size() - skip), top.data() + skip, top.size() - skip);
      return;
    }
    *--end = kPathSeparator;
    index = record.Parent;
  }
}

void FileStore::PathInto(std::size_t index, std::string& path) const {
  path.resize(PathLengthOf(index));
  WritePath(index, path.data() + path.size());
}

std::string FileStore::PathAt(std::size_t index) const {
  std::string path;
  PathInto(index, path);
  return path;
}

FileRow FileStore::RowAt(std::size_t index, bool withPath) const {
  const Record& record = At(index);
  FileRow row;
  if (withPath) PathInto(index, row.Path);
  row.Caption = NameAt(index);
  row.IsFolder = (record.Flags & kFolder) != 0;
  if (row.IsFolder) {
    row.Size = -1;
  } else {
    row.Size = record.Size == kOverflow ? OverflowAt(index, kSizeField) : record.Size;
  }
  if (record.DiskBlocks == kNoDiskSize) {
    row.DiskSize = -1;
  } else if (record.DiskBlocks == kOverflow) {
    row.DiskSize = OverflowAt(index, kDiskField);
  } else {
    row.DiskSize = record.DiskBlocks * kBlockBytes;
  }
  row.Selected = (record.Flags & kSelected) != 0;
  return row;
}

FileStore::PathTable FileStore::Paths() const {
  PathTable table;
  // Every path begins with its listing's top path: what all of those share, all paths share.
  if (!m_tops.empty()) table.m_shared = m_tops.front();
  for (const std::string& top : m_tops) {
    const auto differ =
        std::mismatch(table.m_shared.begin(), table.m_shared.end(), top.begin(), top.end());
    table.m_shared.erase(differ.first, table.m_shared.end());
  }
  const std::size_t skip = table.m_shared.size();
  table.m_begin.resize(m_count + 1);
  std::size_t total = 0;
  for (std::size_t i = 0; i < m_count; ++i) {
    table.m_begin[i] = total;
    total += PathLengthOf(i) - skip;
  }
  table.m_begin[m_count] = total;
  table.m_text = std::make_unique_for_overwrite<char[]>(std::max<std::size_t>(total, 1));
  for (std::size_t i = 0; i < m_count; ++i)
    WritePath(i, table.m_text.get() + table.m_begin[i + 1], skip);
  return table;
}

template <typename Moved>
void FileStore::MoveOverflow(const Moved& moved) {
  std::size_t kept = 0;
  for (const auto& [key, value] : m_overflow) {
    const std::uint32_t to = moved(static_cast<std::size_t>(key >> 1));
    if (to != kGone) m_overflow[kept++] = {OverflowKey(to, key & 1), value};
  }
  m_overflow.resize(kept);
  std::sort(m_overflow.begin(), m_overflow.end());
}

void FileStore::Reorder(const std::vector<std::size_t>& order) {
  m_rowsListed.clear();
  BeginListing();
  // One pass in order out, one pass back: each record is fetched from one place.
  std::vector<Record> before(m_count);
  for (std::size_t i = 0; i < m_count; ++i)
    before[i] = At(i);
  std::vector<std::uint32_t> placeOf(m_count);
  for (std::size_t i = 0; i < m_count; ++i) {
    placeOf[order[i]] = static_cast<std::uint32_t>(i);
    Record& record = At(i);
    record = before[order[i]];
  }
  for (std::size_t i = 0; i < m_count; ++i) {
    Record& record = At(i);
    if ((record.Flags & kTop) == 0) record.Parent = placeOf[record.Parent];
  }
  MoveOverflow([&placeOf](std::uint32_t index) { return placeOf[index]; });
}

void FileStore::KeepRows(const std::unordered_set<RowId>& keep) {
  BeginListing();
  std::vector<std::uint32_t> placeOf(m_overflow.empty() ? 0 : m_count, kGone);
  std::size_t kept = 0;
  for (const RowRecords& listed : m_rowsListed) {
    if (!keep.contains(listed.Row)) continue;
    // A listing's parents lie inside it: they move down with it.
    const std::size_t shift = listed.First - kept;
    for (std::size_t i = listed.First; i < listed.End; ++i) {
      Record record = At(i);
      if ((record.Flags & kTop) == 0) record.Parent -= static_cast<std::uint32_t>(shift);
      if (!placeOf.empty()) placeOf[i] = static_cast<std::uint32_t>(kept);
      At(kept++) = record;
    }
  }
  m_rowsListed.clear();
  m_count = kept;
  MoveOverflow([&placeOf](std::uint32_t index) { return placeOf[index]; });
}

void FileStore::Clear() {
  std::vector<std::unique_ptr<Record[]>>().swap(m_blocks);
  m_count = 0;
  std::vector<std::unique_ptr<char[]>>().swap(m_chunks);
  m_chunkUsed = kChunkSize;
  std::vector<std::string>().swap(m_longNames);
  std::vector<std::string>().swap(m_tops);
  std::vector<std::pair<std::uint64_t, std::int64_t>>().swap(m_overflow);
  std::vector<Open>().swap(m_open);
  std::string().swap(m_openPath);
  std::vector<RowRecords>().swap(m_rowsListed);
}

std::size_t FileStore::MemoryBytes() const {
  static_assert(sizeof(Record) <= 20);
  std::size_t bytes = m_blocks.capacity() * sizeof(m_blocks[0]) +
                      m_blocks.size() * kBlock * sizeof(Record) +
                      m_chunks.capacity() * sizeof(m_chunks[0]) + m_chunks.size() * kChunkSize;
  for (const std::string& name : m_longNames)
    bytes += sizeof(name) + name.capacity();
  for (const std::string& top : m_tops)
    bytes += sizeof(top) + top.capacity();
  bytes += m_overflow.capacity() * sizeof(m_overflow[0]) + m_open.capacity() * sizeof(Open) +
           m_openPath.capacity() + m_rowsListed.capacity() * sizeof(RowRecords);
  return bytes;
}

}  // namespace quillet
