// The ncdu export writer: one line per entry, folders as arrays that open with their own entry.
#include "report/NcduOutput.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <vector>

#include "scan/Text.h"

namespace quillet::report {
namespace {

constexpr std::size_t kPiece = std::size_t{1} << 16;

void AppendNumber(std::string& into, std::uint64_t value) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  into.append(digits, end);
}

}  // namespace

void AppendNcduName(std::string& into, std::string_view name) {
  static constexpr char kHex[] = "0123456789abcdef";
  into += '"';
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      into += '\\';
      into += c;
    } else if (byte < 0x20) {
      into += "\\u00";
      into += kHex[byte >> 4];
      into += kHex[byte & 15];
    } else {
      into += c;
    }
  }
  into += '"';
}

NcduWriter::NcduWriter(std::ostream& out, std::string_view version, std::int64_t timestamp)
    : m_out(out) {
  m_text.reserve(kPiece + 4096);
  m_text += R"([1,2,{"progname":"quillet-report","progver":)";
  AppendNcduName(m_text, version);
  m_text += R"(,"timestamp":)";
  AppendNumber(m_text, static_cast<std::uint64_t>(timestamp < 0 ? 0 : timestamp));
  m_text += '}';
}

NcduWriter::~NcduWriter() {
  Flush(true);
}

void NcduWriter::Entry(const NcduEntry& entry) {
  m_text += R"({"name":)";
  AppendNcduName(m_text, entry.Name);
  if (entry.Size > 0) {
    m_text += R"(,"asize":)";
    AppendNumber(m_text, static_cast<std::uint64_t>(entry.Size));
  }
  if (entry.Disk > 0) {
    m_text += R"(,"dsize":)";
    AppendNumber(m_text, static_cast<std::uint64_t>(entry.Disk));
  }
  if (entry.HasDevice) {
    m_text += R"(,"dev":)";
    AppendNumber(m_text, entry.Device);
  }
  if (entry.Links > 1) {
    m_text += R"(,"ino":)";
    AppendNumber(m_text, entry.Inode);
    m_text += R"(,"hlnkc":true,"nlink":)";
    AppendNumber(m_text, entry.Links);
  }
  if (entry.ReadError) m_text += R"(,"read_error":true)";
  if (entry.NotRegular) m_text += R"(,"notreg":true)";
  if (!entry.Excluded.empty()) {
    m_text += R"(,"excluded":)";
    AppendNcduName(m_text, entry.Excluded);
  }
  m_text += '}';
}

void NcduWriter::Open(const NcduEntry& folder) {
  m_text += ",\n[";
  Entry(folder);
  Flush(false);
}

void NcduWriter::Item(const NcduEntry& entry) {
  m_text += ",\n";
  Entry(entry);
  Flush(false);
}

void NcduWriter::Close() {
  m_text += ']';
}

void NcduWriter::Finish() {
  m_text += "]\n";
  Flush(true);
}

void NcduWriter::Flush(bool always) {
  if (m_text.empty() || (!always && m_text.size() < kPiece)) return;
  m_out.write(m_text.data(), static_cast<std::streamsize>(m_text.size()));
  m_text.clear();
}

bool WriteWalkExport(NcduWriter& writer, const std::string& folder, const WalkOptions& options,
                     const std::function<bool()>& keepGoing) {
  // The root is named by its absolute path, as the other tools name it, so the file means the
  // same wherever it is read.
  std::error_code error;
  std::string root = std::filesystem::absolute(folder, error).lexically_normal().string();
  if (error) root = folder;
  while (root.size() > 1 && root.back() == kPathSeparator)
    root.pop_back();
  NcduEntry top;
  top.Name = root;
  writer.Open(top);

  WalkOptions listing = options;
  listing.ListExcluded = true;
  Walkers walkers(1, listing);
  // The path lengths of the folders open in the export, the root's first; an entry closes every
  // folder after its parent's.
  std::vector<std::size_t> open{WithTrailingSeparator(folder).size() - 1};
  const auto visit = [&](const TreeEntry& entry) {
    const std::size_t parent = entry.Path.rfind(kPathSeparator);
    while (open.size() > 1 && open.back() != parent) {
      writer.Close();
      open.pop_back();
    }
    NcduEntry out;
    out.Name = entry.Path.substr(parent + 1);
    out.Disk = std::max<std::int64_t>(entry.DiskSize, 0);
    out.Size = std::max<std::int64_t>(entry.IsFolder ? entry.OwnSize : entry.Size, 0);
    if (!entry.IsFolder && entry.Links > 1) {
      out.Links = entry.Links;
      out.Inode = entry.Inode;
      out.HasDevice = true;
      out.Device = entry.Device;
    }
    out.NotRegular = entry.NotRegular;
    switch (entry.Skipped) {
      case TreeEntry::Skip::None:
        break;
      case TreeEntry::Skip::Unreadable:
        out.ReadError = true;
        break;
      case TreeEntry::Skip::PseudoFileSystem:
        out.Excluded = "kernfs";
        break;
      case TreeEntry::Skip::OtherFileSystem:
        out.Excluded = "otherfs";
        break;
      case TreeEntry::Skip::Excluded:
        out.Excluded = "pattern";
        break;
    }
    // A folder not entered is still a folder (ncdu writes it so); one a pattern left out, only
    // its name.
    if (entry.IsFolder && entry.Skipped != TreeEntry::Skip::Excluded) {
      writer.Open(out);
      open.push_back(entry.Path.size());
    } else {
      writer.Item(out);
    }
    return keepGoing();
  };
  const bool finished = walkers.List(folder, RootLink::Follow, visit).has_value();
  for (; !open.empty(); open.pop_back())
    writer.Close();
  return finished;
}

void WriteImportedTree(const ImportedTree& tree, NcduWriter& writer) {
  const auto fields = [&tree](ImportedTree::Index node) {
    const ImportedTree::Entry entry = tree.At(node);
    NcduEntry out;
    out.Name = entry.Name;
    out.Size = entry.Size;
    out.Disk = entry.Disk;
    out.ReadError = entry.ReadError;
    out.NotRegular = entry.NotRegular;
    if (entry.HardLinked) {
      // The link count itself is not kept; two says what the reader needs to know.
      out.HasDevice = true;
      out.Device = entry.Device;
      out.Inode = entry.Inode;
      out.Links = 2;
    }
    switch (entry.Excluded) {
      case Exclusion::None:
        break;
      case Exclusion::Pattern:
        out.Excluded = "pattern";
        break;
      case Exclusion::OtherFileSystem:
        out.Excluded = "otherfs";
        break;
      case Exclusion::PseudoFileSystem:
        out.Excluded = "kernfs";
        break;
      case Exclusion::Other:
        out.Excluded = "other";
        break;
    }
    return std::pair(out, entry.IsFolder);
  };
  std::vector<ImportedTree::Index> open;
  for (ImportedTree::Index node = 0; node < tree.Size(); ++node) {
    while (!open.empty() && node >= tree.End(open.back())) {
      writer.Close();
      open.pop_back();
    }
    const auto [entry, folder] = fields(node);
    if (folder) {
      writer.Open(entry);
      open.push_back(node);
    } else {
      writer.Item(entry);
    }
  }
  for (; !open.empty(); open.pop_back())
    writer.Close();
}

}  // namespace quillet::report
