// The report itself: rows, analysis, selection, file list and output, for one request.
#pragma once

#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "lists/Frontend.h"
#include "report/Output.h"

namespace quillet::report {

// What to report, as the command line asked for it.
struct Request {
  std::optional<std::string> Folder;  // its subfolders become rows
  std::vector<std::string> Added;     // each becomes a row itself
  bool Files = false;
  std::optional<int> SortColumn;
  bool Descending = false;
  bool Zero = false;
  Format OutputFormat = Format::Table;
  WalkOptions Walk;  // -x, --exclude
  // An imported scan: its top folders become the rows, measured and listed from it.
  std::shared_ptr<const ImportedTree> Imported;
};

// How a report with a file list walks its rows.
enum class Walks {
  // One walk per row that measures and lists at once, its entries kept in a temporary file
  // until the rows are printed, or in memory where the file list is sorted (or no temporary file
  // can be made). Interrupted, it prints the entries of the rows whose numbers it prints, and
  // nothing of the row it was walking.
  Fewest,
  // The analysis run, then the file view over the selected rows, the listing kept in memory; an
  // interrupted run lists nothing. For comparing the two ways on a finished run.
  Separate,
};

// Exit status of output that could not be written (a full disk, a closed pipe).
inline constexpr int kWriteFailed = 3;

struct Outcome {
  int Status = 0;       // 0 done, 130 interrupted, kWriteFailed
  std::string Failure;  // why, when Status is kWriteFailed and the output was not the cause
};

// Makes the report of request on out. The output of both ways of walking is the same, byte for
// byte, on a tree that does not change.
Outcome MakeReport(const Request& request, Frontend& frontend, std::ostream& out,
                   Walks walks = Walks::Fewest);

}  // namespace quillet::report
