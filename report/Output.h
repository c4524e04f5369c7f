// How quillet-report writes the lists: an aligned table, CSV or JSON.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <ostream>
#include <streambuf>
#include <string>
#include <string_view>
#include <vector>

#include "lists/Lists.h"

namespace quillet::report {

// Ncdu: ncdu's JSON export of the walk, written by the report itself (NcduOutput.h).
enum class Format { Table, Csv, Json, Ncdu };

// A stream buffer over a file descriptor that keeps the reason of the first failed write (an
// errno value; 0 while none failed). After a failure it writes nothing more and the stream
// using it goes bad.
class FdOutput : public std::streambuf {
 public:
  explicit FdOutput(int fd);
  ~FdOutput() override;
  FdOutput(const FdOutput&) = delete;
  FdOutput& operator=(const FdOutput&) = delete;

  int Error() const { return m_error; }

 protected:
  int_type overflow(int_type c) override;
  std::streamsize xsputn(const char* data, std::streamsize size) override;
  int sync() override;

 private:
  bool Drain(const char* data, std::size_t size);

  int m_fd;
  int m_error = 0;
  std::vector<char> m_buffer;
};

// A file list to print, read from first row to last as often as the format needs (the table
// reads it twice: once for the widths of its columns).
class FileListing {
 public:
  virtual ~FileListing() = default;
  // Calls visit with each row in order; the row's texts are valid during the call only.
  virtual void ForEach(const std::function<void(const FileRow&)>& visit) const = 0;
};

// The model's own file list, as the file view filled it.
class ModelFileListing final : public FileListing {
 public:
  explicit ModelFileListing(const ListsModel& model) : m_model(model) {}
  void ForEach(const std::function<void(const FileRow&)>& visit) const override;

 private:
  const ListsModel& m_model;
};

// What gets printed: the rows at these indices of the result list, their totals, and a file
// list when Files is set.
struct Selection {
  std::vector<std::size_t> Rows;
  ListsModel::SelectionTotals Totals;
  const FileListing* Files = nullptr;  // not owned
  bool Complete = true;                // false when the user interrupted a loop
};

void WriteReport(std::ostream& out, const ListsModel& model, const Selection& selection,
                 Format format);

// A JSON string literal of text. Text that is not valid UTF-8 keeps its valid parts; each byte
// that does not belong to a valid sequence becomes \ufffd, so the output is always valid UTF-8.
std::string JsonString(std::string_view text);
void AppendJsonString(std::string& into, std::string_view text);

// A CSV field: quoted (quotes doubled) when it holds a comma, a quote or a line break. One that
// begins with '=', '+', '-', '@', a tab or a CR is quoted with a ' in front, so that a
// spreadsheet shows it as text instead of evaluating it as a formula.
std::string CsvField(std::string_view text);
void AppendCsvField(std::string& into, std::string_view text);

// Terminal columns text takes, as the C library's Unicode width tables count them: a wide
// character two, a combining or zero-width one none; a byte that is not UTF-8 or a character
// that cannot be printed one (TerminalText shows it as '?').
std::size_t DisplayWidth(std::string_view text);

// Text as a terminal may show it: characters that cannot be printed (C0, DEL, C1, line and
// paragraph separators, unassigned code points) and bytes that are not UTF-8 become '?', so a name
// can neither break a line of the table nor command the terminal.
std::string TerminalText(std::string_view text);

}  // namespace quillet::report
