// Table, CSV and JSON output of the report. Cell texts come from the model as the windows show
// them; JSON carries the raw numbers instead.
#include "report/Output.h"

#include <locale.h>
#include <unistd.h>
#include <wchar.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <functional>
#include <span>

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

// The columns a code point takes in a terminal, as the C library's tables of the Unicode
// character widths say under a UTF-8 locale: 0 for a combining or zero-width character, 2 for a
// wide one, -1 for one that is not printable.
int ColumnsOf(std::uint32_t codePoint) {
  if (codePoint >= 0x20 && codePoint < 0x7F) return 1;
  static const locale_t utf8 = [] {
    locale_t made = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    if (made == static_cast<locale_t>(0))
      made = ::newlocale(LC_CTYPE_MASK, "en_US.UTF-8", static_cast<locale_t>(0));
    return made;
  }();
  // Without a UTF-8 locale every printable character counts one column.
  if (utf8 == static_cast<locale_t>(0))
    return codePoint < 0x20 || (codePoint >= 0x7F && codePoint <= 0x9F) ? -1 : 1;
  const locale_t previous = ::uselocale(utf8);
  const int columns = ::wcwidth(static_cast<wchar_t>(codePoint));
  ::uselocale(previous);
  return columns;
}

// Text for out in large pieces: one stream call per piece, not per cell.
class Pieces {
 public:
  explicit Pieces(std::ostream& out) : m_out(out) { m_text.reserve(kPiece + 4096); }
  ~Pieces() { Flush(); }
  Pieces(const Pieces&) = delete;
  Pieces& operator=(const Pieces&) = delete;

  std::string& Text() { return m_text; }
  // Hands the text on once it is large enough; at the end of every line.
  void LineDone() {
    if (m_text.size() >= kPiece) Flush();
  }
  void Flush() {
    if (!m_text.empty()) m_out.write(m_text.data(), static_cast<std::streamsize>(m_text.size()));
    m_text.clear();
  }

 private:
  static constexpr std::size_t kPiece = std::size_t{1} << 16;
  std::ostream& m_out;
  std::string m_text;
};

// A list to print: captions, then its lines, each made when it is written, so a file list of
// millions of rows is never held as text. ForEachLine may be called more than once.
struct Lines {
  std::vector<std::string_view> Captions;
  std::function<void(const std::function<void(std::span<const std::string_view> cells)>&)>
      ForEachLine;
};

// Columns separated by two blanks; numbers (every column after the first two) to the right.
void WriteTable(Pieces& out, const Lines& lines) {
  const std::size_t columns = lines.Captions.size();
  std::vector<std::size_t> widths(columns, 0);
  for (std::size_t k = 0; k < columns; ++k)
    widths[k] = DisplayWidth(lines.Captions[k]);
  lines.ForEachLine([&](std::span<const std::string_view> cells) {
    for (std::size_t k = 0; k < columns; ++k)
      widths[k] = std::max(widths[k], DisplayWidth(TerminalText(cells[k])));
  });
  std::vector<std::string> shown(columns);
  const auto writeLine = [&](std::span<const std::string> texts) {
    std::string& text = out.Text();
    for (std::size_t k = 0; k < columns; ++k) {
      const std::size_t gap = widths[k] - DisplayWidth(texts[k]);
      if (k > 0) text += "  ";
      if (k >= 2) text.append(gap, ' ');
      text += texts[k];
      if (k < 2 && k + 1 < columns) text.append(gap, ' ');
    }
    text += '\n';
    out.LineDone();
  };
  for (std::size_t k = 0; k < columns; ++k)
    shown[k] = lines.Captions[k];
  writeLine(shown);
  lines.ForEachLine([&](std::span<const std::string_view> cells) {
    for (std::size_t k = 0; k < columns; ++k)
      shown[k] = TerminalText(cells[k]);
    writeLine(shown);
  });
}

void WriteCsv(Pieces& out, const Lines& lines) {
  const auto writeLine = [&](std::span<const std::string_view> cells) {
    std::string& text = out.Text();
    for (std::size_t k = 0; k < cells.size(); ++k) {
      if (k > 0) text += ',';
      AppendCsvField(text, cells[k]);
    }
    text += "\r\n";
    out.LineDone();
  };
  writeLine(lines.Captions);
  lines.ForEachLine(writeLine);
}

// The table marks a row that could not be searched throughout after its name; CSV gives the
// number of such folders in a column of its own.
constexpr std::string_view kUnreadableMark = "!";
constexpr std::string_view kUnreadableCaption = "unreadable";

bool HasUnreadable(const ResultRow& row) {
  return row.Measured && row.UnreadableFolders > 0;
}

// The selected result rows with the cells of the windows' columns, and with forCsv the number
// of unreadable folders after them; forTable marks the name instead.
Lines ResultLines(const ListsModel& model, const Selection& selection, bool forCsv) {
  Lines lines{{kResultColumnCaptions.begin(), kResultColumnCaptions.end()},
              [&model, &selection, forCsv](const auto& visit) {
                std::vector<std::string> texts;
                std::vector<std::string_view> cells;
                for (const std::size_t index : selection.Rows) {
                  const ResultRow& row = model.ResultRowAt(index);
                  texts.clear();
                  for (int k = 0; k < static_cast<int>(kResultColumnCaptions.size()); ++k)
                    texts.push_back(model.CellText(ListKind::Result, index, k));
                  if (forCsv) {
                    texts.push_back(row.Measured ? CountText(row.UnreadableFolders)
                                                 : std::string(kTextUnmeasured));
                  } else if (HasUnreadable(row)) {
                    texts[0] += kUnreadableMark;
                  }
                  cells.assign(texts.begin(), texts.end());
                  visit(cells);
                }
              }};
  if (forCsv) lines.Captions.push_back(kUnreadableCaption);
  return lines;
}

// One line under the table, when a row carries the mark, saying what it means.
void WriteUnreadableNote(Pieces& out, const ListsModel& model, const Selection& selection) {
  if (std::none_of(selection.Rows.begin(), selection.Rows.end(),
                   [&](std::size_t index) { return HasUnreadable(model.ResultRowAt(index)); })) {
    return;
  }
  out.Text() += std::string(kUnreadableMark) +
                " after a name: " + CountText(selection.Totals.Unreadable) +
                (selection.Totals.Unreadable == 1 ? " folder" : " folders") +
                " below could not be searched; the numbers leave out what they hold\n";
}

// One line under the table, when the exclude patterns left entries out, saying how many.
void WriteExcludedNote(Pieces& out, const Selection& selection) {
  const std::int64_t excluded = selection.Totals.Excluded;
  if (excluded == 0) return;
  out.Text() += CountText(excluded) + (excluded == 1 ? " entry" : " entries") +
                " left out by --exclude, and what lies below them\n";
}

// The file list's cells as the windows show them: name, path, size or "フォルダ", size on disk.
Lines FileLines(const FileListing& files) {
  return {{kFileColumnCaptions.begin(), kFileColumnCaptions.end()}, [&files](const auto& visit) {
            std::array<char, 32> buffer;
            std::array<char, 32> diskBuffer;
            files.ForEach([&](const FileRow& row) {
              const std::string_view size =
                  row.IsFolder ? kTextFolder : CountTextIn(row.Size, buffer);
              const std::string_view disk =
                  row.DiskSize < 0 ? std::string_view() : CountTextIn(row.DiskSize, diskBuffer);
              const std::array<std::string_view, 4> cells = {row.Caption, row.Path, size, disk};
              visit(cells);
            });
          }};
}

void AppendJsonNumber(std::string& into, bool present, std::int64_t value) {
  if (!present) {
    into += "null";
    return;
  }
  std::array<char, 32> buffer;
  const auto end = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value).ptr;
  into.append(buffer.data(), end);
}

void WriteJson(Pieces& out, const ListsModel& model, const Selection& selection) {
  std::string& text = out.Text();
  text += "{\n  \"complete\": ";
  text += selection.Complete ? "true" : "false";
  text += ",\n  \"rows\": [";
  bool first = true;
  for (const std::size_t index : selection.Rows) {
    const ResultRow& row = model.ResultRowAt(index);
    text += first ? "\n" : ",\n";
    text += "    {\"name\": ";
    AppendJsonString(text, row.Caption);
    text += ", \"location\": ";
    AppendJsonString(text, row.Location);
    text += ", \"size\": ";
    AppendJsonNumber(text, row.Measured, row.TotalSize);
    text += ", \"files\": ";
    AppendJsonNumber(text, row.Measured, row.FileCount);
    text += ", \"folders\": ";
    AppendJsonNumber(text, row.Measured, row.FolderCount);
    text += ", \"unreadable\": ";
    AppendJsonNumber(text, row.Measured, row.UnreadableFolders);
    text += ", \"disk\": ";
    AppendJsonNumber(text, row.Measured, row.DiskSize);
    text += ", \"excluded\": ";
    AppendJsonNumber(text, row.Measured, row.ExcludedEntries);
    text += "}";
    out.LineDone();
    first = false;
  }
  const ListsModel::SelectionTotals& totals = selection.Totals;
  text += first ? "]" : "\n  ]";
  text += ",\n  \"totals\": {\"lists\": ";
  AppendJsonNumber(text, true, totals.Rows);
  text += ", \"bytes\": ";
  AppendJsonNumber(text, true, totals.Bytes);
  text += ", \"files\": ";
  AppendJsonNumber(text, true, totals.Files);
  text += ", \"folders\": ";
  AppendJsonNumber(text, true, totals.Folders);
  text += ", \"unreadable\": ";
  AppendJsonNumber(text, true, totals.Unreadable);
  text += ", \"disk\": ";
  AppendJsonNumber(text, true, totals.DiskBytes);
  text += ", \"excluded\": ";
  AppendJsonNumber(text, true, totals.Excluded);
  text += "}";
  if (selection.Files) {
    text += ",\n  \"entries\": [";
    bool none = true;
    selection.Files->ForEach([&](const FileRow& row) {
      text += none ? "\n" : ",\n";
      text += "    {\"name\": ";
      AppendJsonString(text, row.Caption);
      text += ", \"location\": ";
      AppendJsonString(text, row.Path);
      text += ", \"size\": ";
      AppendJsonNumber(text, !row.IsFolder, row.Size);
      text += ", \"disk\": ";
      AppendJsonNumber(text, row.DiskSize >= 0, row.DiskSize);
      text += "}";
      out.LineDone();
      none = false;
    });
    text += none ? "]" : "\n  ]";
  }
  text += "\n}\n";
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

void ModelFileListing::ForEach(const std::function<void(const FileRow&)>& visit) const {
  const std::size_t count = m_model.FileRowCount();
  for (std::size_t i = 0; i < count; ++i)
    visit(m_model.FileRowAt(i));
}

std::string JsonString(std::string_view text) {
  std::string json;
  AppendJsonString(json, text);
  return json;
}

void AppendJsonString(std::string& json, std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  json += '"';
  std::size_t at = 0;
  while (at < text.size()) {
    // Runs of plain ASCII go in one piece.
    std::size_t plain = at;
    while (plain < text.size()) {
      const auto byte = static_cast<unsigned char>(text[plain]);
      if (byte < 0x20 || byte >= 0x80 || byte == '"' || byte == '\\') break;
      ++plain;
    }
    json.append(text.substr(at, plain - at));
    at = plain;
    if (at == text.size()) break;
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
}

std::string CsvField(std::string_view text) {
  std::string field;
  AppendCsvField(field, text);
  return field;
}

void AppendCsvField(std::string& into, std::string_view text) {
  // A spreadsheet takes a cell that begins so for a formula: a leading ' makes it text.
  const bool formula =
      !text.empty() && std::string_view("=+-@\t\r").find(text[0]) != std::string_view::npos;
  if (!formula && text.find_first_of(",\"\r\n") == std::string_view::npos) {
    into += text;
    return;
  }
  into += '"';
  if (formula) into += '\'';
  for (const char c : text) {
    if (c == '"') into += '"';
    into += c;
  }
  into += '"';
}

std::size_t DisplayWidth(std::string_view text) {
  std::size_t width = 0;
  std::size_t at = 0;
  while (at < text.size()) {
    std::uint32_t codePoint = 0;
    const std::size_t length = ValidSequence(text, at, codePoint);
    // What the terminal is not given (a stray byte, a character it cannot print) shows as '?'.
    const int columns = length != 0 ? ColumnsOf(codePoint) : -1;
    width += columns >= 0 ? static_cast<std::size_t>(columns) : 1;
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
    if (length == 0 || ColumnsOf(codePoint) < 0) {
      shown += '?';
    } else {
      shown.append(text.substr(at, length));
    }
    at += std::max<std::size_t>(length, 1);
  }
  return shown;
}

void WriteReport(std::ostream& stream, const ListsModel& model, const Selection& selection,
                 Format format) {
  Pieces out(stream);
  switch (format) {
    case Format::Table: {
      WriteTable(out, ResultLines(model, selection, false));
      WriteUnreadableNote(out, model, selection);
      WriteExcludedNote(out, selection);
      const auto panels = ListsModel::TotalsTexts(selection.Totals);
      out.Text() +=
          "\n" + panels[0] + "  " + panels[1] + "  " + panels[2] + "  " + panels[3] + "\n";
      if (selection.Files) {
        out.Text() += '\n';
        WriteTable(out, FileLines(*selection.Files));
      }
      break;
    }
    case Format::Csv:
      // The byte-order mark tells a spreadsheet that the text is UTF-8, not the locale's code page.
      out.Text() += "\xEF\xBB\xBF";
      WriteCsv(out, ResultLines(model, selection, true));
      if (selection.Files) {
        out.Text() += "\r\n";
        WriteCsv(out, FileLines(*selection.Files));
      }
      break;
    case Format::Json:
      WriteJson(out, model, selection);
      break;
    case Format::Ncdu:
      break;  // an export of the walk, not of rows: the report writes it as it walks
  }
}

}  // namespace quillet::report
