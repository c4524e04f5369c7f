// Table, CSV and JSON output of the report. Cell texts come from the model as the windows show
// them; JSON carries the raw numbers instead.
#include "report/Output.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <functional>

namespace quillet::report {

namespace {

// Length of the valid UTF-8 sequence at text[at], or 0 when the byte there starts none.
std::size_t ValidSequence(std::string_view text, std::size_t at, std::uint32_t& codePoint) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) {
    codePoint = lead;
    return 1;
  }
  std::size_t length = 0;
  std::uint32_t minimum = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    minimum = 0x80;
    codePoint = lead & 0x1Fu;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    minimum = 0x800;
    codePoint = lead & 0x0Fu;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    minimum = 0x10000;
    codePoint = lead & 0x07u;
  } else {
    return 0;
  }
  if (text.size() - at < length) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return 0;
    codePoint = (codePoint << 6) | (byte(i) & 0x3Fu);
  }
  // Overlong forms, surrogates and values past the last code point are not UTF-8.
  if (codePoint < minimum || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF))
    return 0;
  return length;
}

bool IsWide(std::uint32_t c) {
  return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0x303E) ||
         (c >= 0x3041 && c <= 0x33FF) || (c >= 0x3400 && c <= 0x4DBF) ||
         (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xA000 && c <= 0xA4CF) ||
         (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
         (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
         (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x1F300 && c <= 0x1F64F) ||
         (c >= 0x20000 && c <= 0x3FFFD);
}

void Pad(std::ostream& out, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i)
    out << ' ';
}

// A list to print: captions, then lines of cell texts made on demand, so a file list of
// millions of rows is never copied as text.
struct Lines {
  std::vector<std::string_view> Captions;
  std::size_t Count = 0;
  std::function<std::string(std::size_t line, int column)> Cell;
};

// Columns separated by two blanks; numbers (every column after the first two) to the right.
void WriteTable(std::ostream& out, const Lines& lines) {
  const std::size_t columns = lines.Captions.size();
  std::vector<std::size_t> widths(columns, 0);
  for (std::size_t k = 0; k < columns; ++k)
    widths[k] = DisplayWidth(lines.Captions[k]);
  for (std::size_t line = 0; line < lines.Count; ++line) {
    for (std::size_t k = 0; k < columns; ++k) {
      widths[k] =
          std::max(widths[k], DisplayWidth(TerminalText(lines.Cell(line, static_cast<int>(k)))));
    }
  }
  const auto writeLine = [&](const auto& cellOf) {
    for (std::size_t k = 0; k < columns; ++k) {
      const std::string text(cellOf(k));
      const std::size_t gap = widths[k] - DisplayWidth(text);
      if (k > 0) out << "  ";
      if (k >= 2) Pad(out, gap);
      out << text;
      if (k < 2 && k + 1 < columns) Pad(out, gap);
    }
    out << '\n';
  };
  writeLine([&](std::size_t k) { return lines.Captions[k]; });
  for (std::size_t line = 0; line < lines.Count; ++line) {
    writeLine([&](std::size_t k) { return TerminalText(lines.Cell(line, static_cast<int>(k))); });
  }
}

void WriteCsv(std::ostream& out, const Lines& lines) {
  const std::size_t columns = lines.Captions.size();
  for (std::size_t k = 0; k < columns; ++k)
    out << (k > 0 ? "," : "") << CsvField(lines.Captions[k]);
  out << "\r\n";
  for (std::size_t line = 0; line < lines.Count; ++line) {
    for (std::size_t k = 0; k < columns; ++k) {
      out << (k > 0 ? "," : "") << CsvField(lines.Cell(line, static_cast<int>(k)));
    }
    out << "\r\n";
  }
}

// The table marks a row that could not be searched throughout after its name; CSV gives the
// number of such folders in a column of its own.
constexpr std::string_view kUnreadableMark = "!";
constexpr std::string_view kUnreadableCaption = "unreadable";

bool HasUnreadable(const ResultRow& row) {
  return row.Measured && row.UnreadableFolders > 0;
}

Lines TableResultLines(const ListsModel& model, const Selection& selection) {
  return {{kResultColumnCaptions.begin(), kResultColumnCaptions.end()},
          selection.Rows.size(),
          [&model, &selection](std::size_t line, int column) {
            const std::size_t index = selection.Rows[line];
            std::string text = model.CellText(ListKind::Result, index, column);
            if (column == 0 && HasUnreadable(model.ResultRowAt(index))) text += kUnreadableMark;
            return text;
          }};
}

Lines CsvResultLines(const ListsModel& model, const Selection& selection) {
  Lines lines{{kResultColumnCaptions.begin(), kResultColumnCaptions.end()},
              selection.Rows.size(),
              [&model, &selection](std::size_t line, int column) {
                const std::size_t index = selection.Rows[line];
                if (column < static_cast<int>(kResultColumnCaptions.size()))
                  return model.CellText(ListKind::Result, index, column);
                const ResultRow& row = model.ResultRowAt(index);
                return row.Measured ? CountText(row.UnreadableFolders)
                                    : std::string(kTextUnmeasured);
              }};
  lines.Captions.push_back(kUnreadableCaption);
  return lines;
}

// One line under the table, when a row carries the mark, saying what it means.
void WriteUnreadableNote(std::ostream& out, const ListsModel& model, const Selection& selection) {
  if (std::none_of(selection.Rows.begin(), selection.Rows.end(),
                   [&](std::size_t index) { return HasUnreadable(model.ResultRowAt(index)); })) {
    return;
  }
  out << kUnreadableMark << " after a name: " << CountText(selection.Totals.Unreadable)
      << (selection.Totals.Unreadable == 1 ? " folder" : " folders")
      << " below could not be searched; the numbers leave out what they hold\n";
}

Lines FileLines(const ListsModel& model) {
  return {{kFileColumnCaptions.begin(), kFileColumnCaptions.end()},
          model.FileRowCount(),
          [&model](std::size_t line, int column) {
            return model.CellText(ListKind::File, line, column);
          }};
}

std::string JsonNumber(bool present, std::int64_t value) {
  return present ? std::to_string(value) : "null";
}

void WriteJson(std::ostream& out, const ListsModel& model, const Selection& selection) {
  out << "{\n  \"complete\": " << (selection.Complete ? "true" : "false") << ",\n  \"rows\": [";
  bool first = true;
  for (const std::size_t index : selection.Rows) {
    const ResultRow& row = model.ResultRowAt(index);
    out << (first ? "\n" : ",\n") << "    {\"name\": " << JsonString(row.Caption)
        << ", \"location\": " << JsonString(row.Location)
        << ", \"size\": " << JsonNumber(row.Measured, row.TotalSize)
        << ", \"files\": " << JsonNumber(row.Measured, row.FileCount)
        << ", \"folders\": " << JsonNumber(row.Measured, row.FolderCount)
        << ", \"unreadable\": " << JsonNumber(row.Measured, row.UnreadableFolders) << "}";
    first = false;
  }
  out << (first ? "]" : "\n  ]") << ",\n  \"totals\": {\"lists\": " << selection.Totals.Rows
      << ", \"bytes\": " << selection.Totals.Bytes << ", \"files\": " << selection.Totals.Files
      << ", \"folders\": " << selection.Totals.Folders
      << ", \"unreadable\": " << selection.Totals.Unreadable << "}";
  if (selection.WithFiles) {
    out << ",\n  \"entries\": [";
    const std::size_t count = model.FileRowCount();
    for (std::size_t i = 0; i < count; ++i) {
      const FileRow row = model.FileRowAt(i);
      out << (i == 0 ? "\n" : ",\n") << "    {\"name\": " << JsonString(row.Caption)
          << ", \"location\": " << JsonString(row.Path)
          << ", \"size\": " << JsonNumber(!row.IsFolder, row.Size) << "}";
    }
    out << (count == 0 ? "]" : "\n  ]");
  }
  out << "\n}\n";
}

}  // namespace

FdOutput::FdOutput(int fd) : m_fd(fd), m_buffer(std::size_t{1} << 16) {
  setp(m_buffer.data(), m_buffer.data() + m_buffer.size());
}

FdOutput::~FdOutput() {
  sync();
}

bool FdOutput::Drain(const char* data, std::size_t size) {
  while (size > 0 && m_error == 0) {
    const ssize_t written = ::write(m_fd, data, size);
    if (written < 0) {
      if (errno != EINTR) m_error = errno;
      continue;
    }
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return m_error == 0;
}

int FdOutput::sync() {
  const bool drained = Drain(pbase(), static_cast<std::size_t>(pptr() - pbase()));
  setp(m_buffer.data(), m_buffer.data() + m_buffer.size());
  return drained ? 0 : -1;
}

FdOutput::int_type FdOutput::overflow(int_type c) {
  if (sync() != 0) return traits_type::eof();
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  *pptr() = traits_type::to_char_type(c);
  pbump(1);
  return c;
}

std::streamsize FdOutput::xsputn(const char* data, std::streamsize size) {
  const auto length = static_cast<std::size_t>(size);
  if (length <= static_cast<std::size_t>(epptr() - pptr())) {
    std::memcpy(pptr(), data, length);
    pbump(static_cast<int>(length));
    return size;
  }
  // Larger than the room left: empty the buffer, then write the piece straight through.
  if (sync() != 0 || !Drain(data, length)) return 0;
  return size;
}

std::string JsonString(std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string json = "\"";
  std::size_t at = 0;
  while (at < text.size()) {
    std::uint32_t codePoint = 0;
    const std::size_t length = ValidSequence(text, at, codePoint);
    if (length == 0) {
      json += "\\ufffd";
      ++at;
      continue;
    }
    if (codePoint == '"' || codePoint == '\\') {
      json += '\\';
      json += static_cast<char>(codePoint);
    } else if (codePoint < 0x20) {
      json += "\\u00";
      json += kHex[codePoint >> 4];
      json += kHex[codePoint & 0xF];
    } else {
      json.append(text.substr(at, length));
    }
    at += length;
  }
  json += '"';
  return json;
}

std::string CsvField(std::string_view text) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
  std::string field = "\"";
  for (const char c : text) {
    if (c == '"') field += '"';
    field += c;
  }
  field += '"';
  return field;
}

std::size_t DisplayWidth(std::string_view text) {
  std::size_t width = 0;
  std::size_t at = 0;
  while (at < text.size()) {
    std::uint32_t codePoint = 0;
    const std::size_t length = ValidSequence(text, at, codePoint);
    width += length != 0 && IsWide(codePoint) ? 2 : 1;
    at += std::max<std::size_t>(length, 1);
  }
  return width;
}

std::string TerminalText(std::string_view text) {
  std::string shown;
  shown.reserve(text.size());
  std::size_t at = 0;
  while (at < text.size()) {
    std::uint32_t codePoint = 0;
    const std::size_t length = ValidSequence(text, at, codePoint);
    const bool control = codePoint < 0x20 || (codePoint >= 0x7F && codePoint <= 0x9F);
    if (length == 0 || control) {
      shown += '?';
    } else {
      shown.append(text.substr(at, length));
    }
    at += std::max<std::size_t>(length, 1);
  }
  return shown;
}

void WriteReport(std::ostream& out, const ListsModel& model, const Selection& selection,
                 Format format) {
  switch (format) {
    case Format::Table: {
      WriteTable(out, TableResultLines(model, selection));
      WriteUnreadableNote(out, model, selection);
      const auto panels = ListsModel::TotalsTexts(selection.Totals);
      out << '\n'
          << panels[0] << "  " << panels[1] << "  " << panels[2] << "  " << panels[3] << '\n';
      if (selection.WithFiles) {
        out << '\n';
        WriteTable(out, FileLines(model));
      }
      break;
    }
    case Format::Csv:
      WriteCsv(out, CsvResultLines(model, selection));
      if (selection.WithFiles) {
        out << "\r\n";
        WriteCsv(out, FileLines(model));
      }
      break;
    case Format::Json:
      WriteJson(out, model, selection);
      break;
  }
}

}  // namespace quillet::report
