// The ncdu export writer: one line per entry, folders as arrays that open with their own entry.
#include "report/NcduOutput.h"

#include <charconv>
#include <vector>

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
