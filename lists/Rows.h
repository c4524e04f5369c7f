// The rows of the two lists, their columns and the change notifications a view listens to.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "resources/Images.h"
#include "scan/Import.h"
#include "scan/Text.h"

namespace quillet {

enum class ListKind { Result, File };

// The pictures of the main image list that carry meaning in rows.
inline constexpr int kImageMeasured = kImageOpenFolder;
inline constexpr int kImageFile = kImagePageLines;
// An unmeasured result row, or a folder in the file list.
inline constexpr int kImageFolder = kImageClosedFolder;
// A measured row with folders that could not be read.
inline constexpr int kImageUnreadable = kImageFolderWarning;

inline constexpr std::string_view kTextUnmeasured = "未解析";
inline constexpr std::string_view kTextFolder = "フォルダ";

// Identifies a result row for as long as it exists; never reused within one model.
using RowId = std::uint64_t;

// A row of the result list. The numbers are raw; their text is made when a cell is asked for.
struct ResultRow {
  RowId Id = 0;
  std::string Caption;    // last name of the location
  std::string Location;   // the folder, without a trailing separator (a root keeps its own)
  bool Measured = false;  // false until the first analysis: the three numbers show "未解析"
  std::int64_t TotalSize = 0;
  std::int64_t FileCount = 0;
  std::int64_t FolderCount = 0;
  // Folders below it (itself included) that could not be searched at the last analysis: its
  // "0" then means "nothing readable", not "empty".
  std::int64_t UnreadableFolders = 0;
  std::int64_t DiskSize = 0;  // what the folder occupies on disk (FolderStatistics::DiskSize)
  std::int64_t ExcludedEntries = 0;  // entries below it that an exclude pattern left out
  bool Selected = false;
  // Found by listing a folder (the start-up rows), not named by the user.
  bool Listed = false;
  // The imported scan the row was read from, and its entry there, while the row's numbers and
  // entries are the scan's; none once the row was measured on this disk.
  std::shared_ptr<const ImportedTree> Export;
  ImportedTree::Index ExportNode = ImportedTree::kNone;

  int ImageIndex() const {
    if (!Measured) return kImageFolder;
    return UnreadableFolders > 0 ? kImageUnreadable : kImageMeasured;
  }
};

// A row of the file list. The caption views the text it was made from (the model's storage:
// valid until the file list changes); the path is the row's own, built when the row was made.
struct FileRow {
  std::string_view Caption;  // last name of the path
  std::string Path;
  bool IsFolder = false;
  std::int64_t Size = -1;      // the file's full size; -1 for a folder
  std::int64_t DiskSize = -1;  // what the entry itself occupies on disk; -1: nothing counted
  bool Selected = false;

  int ImageIndex() const { return IsFolder ? kImageFolder : kImageFile; }
};

// Makes row the file list's row of one listed entry at path (the path's capacity reused); its
// caption, the last name, views path.
inline void SetFileRow(FileRow& row, std::string_view path, bool isFolder, std::int64_t size,
                       std::int64_t diskSize = -1) {
  row.Path.assign(path);
  const auto at = path.rfind(kPathSeparator);
  row.Caption = at == std::string_view::npos ? path : path.substr(at + 1);
  row.IsFolder = isFolder;
  row.Size = isFolder ? -1 : size;
  row.DiskSize = diskSize;
  row.Selected = false;
}

// The file list's row for one listed entry at path; its caption, the last name, views path.
inline FileRow FileRowOf(std::string_view path, bool isFolder, std::int64_t size,
                         std::int64_t diskSize = -1) {
  FileRow row;
  SetFileRow(row, path, isFolder, size, diskSize);
  return row;
}

// What a view needs to follow the model. Begin/End pairs bracket the change, so a Qt item model
// can forward them as beginInsertRows/endInsertRows and the like: between Begin and End the
// model still shows the old rows, after End the new ones. Callbacks must not change the model.
class ListObserver {
 public:
  virtual ~ListObserver() = default;
  // Any change of order or content at once: a sort, or a list cleared.
  virtual void BeginReset(ListKind list) = 0;
  virtual void EndReset(ListKind list) = 0;
  // Rows first .. first + count - 1 appear at the end of the list.
  virtual void BeginAppend(ListKind list, std::size_t first, std::size_t count) = 0;
  virtual void EndAppend(ListKind list) = 0;
  // Rows first .. first + count - 1 go; the rows after them move up.
  virtual void BeginRemove(ListKind list, std::size_t first, std::size_t count) = 0;
  virtual void EndRemove(ListKind list) = 0;
  // The cells or the image of one row changed (not its selection).
  virtual void RowChanged(ListKind list, std::size_t index) = 0;
  // The selection flags of one or more rows changed (also when the view itself asked for it).
  virtual void SelectionChanged(ListKind list) = 0;
};

}  // namespace quillet
