// ncdu's JSON export (format 1.2), written as the tree is walked: ncdu, gdu and Quillet itself
// read it back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <string_view>

#include "scan/Import.h"

namespace quillet::report {

// The fields of one entry that the export carries; what is unset is left out, as ncdu leaves it.
struct NcduEntry {
  std::string_view Name;     // bytes as they are; the root's is the scanned path
  std::int64_t Size = 0;     // asize: the entry's own size (a folder's too)
  std::int64_t Disk = -1;    // dsize; -1: left out
  std::uint64_t Device = 0;  // dev, written where HasDevice (where a mount begins)
  bool HasDevice = false;
  std::uint64_t Inode = 0;  // ino and nlink with hlnkc, written where Links > 1
  std::uint64_t Links = 0;
  bool ReadError = false;     // a folder that could not be searched
  bool NotRegular = false;    // a link or a special file
  std::string_view Excluded;  // "pattern", "otherfs", "kernfs"; empty: not excluded
};

// Writes one export to out, entry by entry: Open a folder (its own entry first), its entries
// (Item for each non-folder, Open/Close for each folder), Close it; Finish after the root's
// Close. Memory stays the same however large the tree.
class NcduWriter {
 public:
  NcduWriter(std::ostream& out, std::string_view version, std::int64_t timestamp);
  // A writer of a fragment: entries of a folder whose own entry another writer wrote, for that
  // writer to Splice in; no header, and no Finish.
  struct Fragment {};
  NcduWriter(std::ostream& out, Fragment);
  ~NcduWriter();
  NcduWriter(const NcduWriter&) = delete;
  NcduWriter& operator=(const NcduWriter&) = delete;

  void Open(const NcduEntry& folder);
  void Item(const NcduEntry& entry);
  void Close();
  void Finish();
  // Text a fragment's writer wrote, as it is.
  void Splice(std::string_view text);
  // Hands what is written so far to the stream.
  void Flush() { Flush(true); }

 private:
  void Entry(const NcduEntry& entry);
  void Flush(bool always);

  std::ostream& m_out;
  std::string m_text;
};

// How the walk of an export is spread over threads: while fewer folders wait than there are
// other threads, a subfolder a thread is about to walk into is left to the next thread free, which
// walks it into text of its own, written in its place (the export is the same as one thread's). The
// text walked ahead waits in memory up to MemoryBudget bytes, the rest in an unnamed temporary file
// ($TMPDIR, else /tmp; in memory too when none can be made).
struct ExportThreads {
  unsigned Threads = 0;  // 0: one per core the process may run on
  std::size_t MemoryBudget = std::size_t{4} << 20;
};

// The export of one walk of folder, whose top folders are the rows a report of folder has; the
// walk keeps to options. keepGoing is asked on the calling thread while the walk goes on, at least
// every 50 ms; false ends the export early, still well formed. False when it did.
bool WriteWalkExport(NcduWriter& writer, const std::string& folder, const WalkOptions& options,
                     const std::function<bool()>& keepGoing, const ExportThreads& threads = {});

// The whole of an imported tree written back as an export of its own.
void WriteImportedTree(const ImportedTree& tree, NcduWriter& writer);

// A JSON string of name's bytes: quotes, backslashes and control characters escaped, every
// other byte as it is (the format allows any byte string, so a name that is not UTF-8 survives).
void AppendNcduName(std::string& into, std::string_view name);

}  // namespace quillet::report
