// The columns of the two lists, one table each: what every front end shows in a column, how it
// is aligned and sized, and how the model sorts by it. A column is one entry here.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "lists/Rows.h"

namespace quillet {

enum class CellAlign { Left, Right };

// A designed width that takes what the other columns leave.
inline constexpr int kRemainingWidth = -1;

// A number cell's value; without a number the cell shows its column's word instead.
struct CountCell {
  bool HasNumber = false;
  std::int64_t Number = 0;
};

// One column of a list of Row. It is a text column (Text) or a count column (Count), never both:
// text sorts under CompareText, a count as a number, the cells without a number after every
// number (as their word sorts after every count text).
template <typename Row>
struct ListColumn {
  std::string_view Caption;
  int Width = 0;  // designed, in pixels at 96 dpi; kRemainingWidth: what the others leave
  CellAlign Alignment = CellAlign::Left;
  std::string_view (*Text)(const Row&) = nullptr;
  CountCell (*Count)(const Row&) = nullptr;
  std::string_view Word = {};  // a count cell's text without a number

  // The cell's text, formatted now.
  std::string CellText(const Row& row) const {
    if (Text) return std::string(Text(row));
    const CountCell cell = Count(row);
    return cell.HasNumber ? CountText(cell.Number) : std::string(Word);
  }
};

using ResultColumn = ListColumn<ResultRow>;
using FileColumn = ListColumn<FileRow>;

inline constexpr std::array kResultColumns{
    ResultColumn{.Caption = "名前",
                 .Width = 160,
                 .Text = [](const ResultRow& row) -> std::string_view { return row.Caption; }},
    // Always text: relative locations such as "10", "5a" and "9", compared as numbers where both
    // parse and as text elsewhere, would go round in a circle.
    ResultColumn{.Caption = "場所",
                 .Width = kRemainingWidth,
                 .Text = [](const ResultRow& row) -> std::string_view { return row.Location; }},
    ResultColumn{.Caption = "サイズ",
                 .Width = 80,
                 .Alignment = CellAlign::Right,
                 .Count =
                     [](const ResultRow& row) {
                       return CountCell{row.Measured, row.TotalSize};
                     },
                 .Word = kTextUnmeasured},
    ResultColumn{.Caption = "ファイル数",
                 .Width = 80,
                 .Alignment = CellAlign::Right,
                 .Count =
                     [](const ResultRow& row) {
                       return CountCell{row.Measured, row.FileCount};
                     },
                 .Word = kTextUnmeasured},
    ResultColumn{.Caption = "フォルダ数",
                 .Width = 80,
                 .Alignment = CellAlign::Right,
                 .Count =
                     [](const ResultRow& row) {
                       return CountCell{row.Measured, row.FolderCount};
                     },
                 .Word = kTextUnmeasured},
    ResultColumn{.Caption = "ディスク上のサイズ",
                 .Width = 120,
                 .Alignment = CellAlign::Right,
                 .Count =
                     [](const ResultRow& row) {
                       return CountCell{row.Measured, row.DiskSize};
                     },
                 .Word = kTextUnmeasured},
};

inline constexpr std::array kFileColumns{
    FileColumn{
        .Caption = "名前", .Width = 160, .Text = [](const FileRow& row) { return row.Caption; }},
    // The one column that needs a row's path: the others are read from rows made without it.
    FileColumn{.Caption = "場所",
               .Width = kRemainingWidth,
               .Text = [](const FileRow& row) -> std::string_view { return row.Path; }},
    FileColumn{.Caption = "サイズ",
               .Width = 80,
               .Alignment = CellAlign::Right,
               .Count =
                   [](const FileRow& row) {
                     return CountCell{!row.IsFolder, row.Size};
                   },
               .Word = kTextFolder},
    // Blank where the platform counts nothing for the entry (a folder on Windows).
    FileColumn{.Caption = "ディスク上のサイズ",
               .Width = 125,
               .Alignment = CellAlign::Right,
               .Count =
                   [](const FileRow& row) {
                     return CountCell{row.DiskSize >= 0, row.DiskSize};
                   }},
};

// The file list's column of paths: a sort by it builds every row's path once.
inline constexpr int kFileLocationColumn = 1;
static_assert(kFileColumns[kFileLocationColumn].Caption == "場所");

template <typename Row, std::size_t N>
constexpr std::array<std::string_view, N> CaptionsOf(
    const std::array<ListColumn<Row>, N>& columns) {
  std::array<std::string_view, N> captions{};
  for (std::size_t k = 0; k < N; ++k)
    captions[k] = columns[k].Caption;
  return captions;
}

inline constexpr auto kResultColumnCaptions = CaptionsOf(kResultColumns);
inline constexpr auto kFileColumnCaptions = CaptionsOf(kFileColumns);

// The column of columns whose caption is caption, or whose index is written as text.
template <typename Row, std::size_t N>
std::optional<int> FindColumn(const std::array<ListColumn<Row>, N>& columns,
                              std::string_view caption) {
  for (std::size_t k = 0; k < N; ++k) {
    if (caption == columns[k].Caption || caption == std::to_string(k)) return static_cast<int>(k);
  }
  return std::nullopt;
}

}  // namespace quillet
