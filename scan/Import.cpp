// The reader of ncdu's JSON export: RapidJSON's iterative SAX parser (no recursion however deep
// the nesting; string bytes left as they are, so names that are not UTF-8 survive), and a state
// machine over its events that builds the tree.
#include "scan/Import.h"

#include <rapidjson/error/en.h>
#include <rapidjson/reader.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <limits>
#include <set>
#include <utility>

#include "scan/Saturate.h"
#include "scan/platform/Platform.h"

namespace quillet {

struct ImportedTree::Node {
  Index Parent = kNone;
  Index End = 0;
  std::uint64_t NameAt = 0;
  std::uint32_t NameSize = 0;
  std::uint8_t Flags = 0;
  std::int64_t Size = 0;
  std::int64_t Disk = 0;
};

namespace {

constexpr std::uint8_t kFolder = 1;
constexpr std::uint8_t kReadError = 2;
constexpr std::uint8_t kNotRegular = 4;
constexpr std::uint8_t kHardLinked = 8;
constexpr int kExclusionShift = 4;

Exclusion ExclusionOf(std::uint8_t flags) {
  return static_cast<Exclusion>(flags >> kExclusionShift);
}

// A folder of the export, or one it did not enter (a mount, or a link-like folder): a walk
// counts either as a folder.
bool CountsAsFolder(std::uint8_t flags) {
  const Exclusion excluded = ExclusionOf(flags);
  return (flags & kFolder) != 0 || (excluded != Exclusion::None && excluded != Exclusion::Pattern);
}

// Pulls the export's bytes through a buffer, for the parser. Past kLongestValue bytes since the
// last mark, or when reading fails, it shows the parser an end, and says which.
class Input {
 public:
  using Ch = char;
  Input(const ExportSource& source) : m_source(source), m_buffer(1 << 16) {}

  Ch Peek() {
    if (m_offset - m_mark > ImportedTree::kLongestValue) {
      m_tooLong = true;
      return '\0';
    }
    if (m_at == m_size && !Fill()) return '\0';
    return m_buffer[m_at];
  }
  Ch Take() {
    const Ch c = Peek();
    if (!m_tooLong && m_at < m_size) {
      ++m_at;
      ++m_offset;
    }
    return c;
  }
  std::size_t Tell() const { return static_cast<std::size_t>(m_offset); }
  // The parser writes only in place, which is not asked of it.
  Ch* PutBegin() { return nullptr; }
  void Put(Ch) {}
  void Flush() {}
  std::size_t PutEnd(Ch*) { return 0; }

  void Mark() { m_mark = m_offset; }
  bool TooLong() const { return m_tooLong; }
  bool ReadFailed() const { return m_readFailed; }

 private:
  bool Fill() {
    if (m_end || m_readFailed) return false;
    const std::optional<std::size_t> got = m_source(m_buffer.data(), m_buffer.size());
    if (!got) {
      m_readFailed = true;
      return false;
    }
    m_at = 0;
    m_size = std::min(*got, m_buffer.size());
    if (m_size == 0) m_end = true;
    return m_size != 0;
  }

  const ExportSource& m_source;
  std::vector<char> m_buffer;
  std::size_t m_at = 0;
  std::size_t m_size = 0;
  std::uint64_t m_offset = 0;
  std::uint64_t m_mark = 0;
  bool m_end = false;
  bool m_tooLong = false;
  bool m_readFailed = false;
};

std::optional<std::uint64_t> Unsigned(std::string_view number) {
  std::uint64_t value = 0;
  const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
  if (error != std::errc() || end != number.data() + number.size()) return std::nullopt;
  return value;
}

}  // namespace

// The parser's handler: where in the export's shape the next event stands, and the entry whose
// fields are being read.
class ImportedTree::Builder {
 public:
  Builder(ImportedTree& tree, Input& input) : m_tree(tree), m_input(input) {}

  const std::string& Failure() const { return m_failure; }
  bool Done() const { return m_state == State::Done; }

  // --- The parser's events.
  bool Null() { return Scalar(Value::Other); }
  bool Bool(bool value) { return Scalar(value ? Value::True : Value::False); }
  bool Int(int) { return Fail("unexpected number"); }
  bool Uint(unsigned) { return Fail("unexpected number"); }
  bool Int64(std::int64_t) { return Fail("unexpected number"); }
  bool Uint64(std::uint64_t) { return Fail("unexpected number"); }
  bool Double(double) { return Fail("unexpected number"); }
  bool RawNumber(const char* text, rapidjson::SizeType length, bool) {
    m_number = std::string_view(text, length);
    return Scalar(Value::Number);
  }
  bool String(const char* text, rapidjson::SizeType length, bool) {
    m_string = std::string_view(text, length);
    return Scalar(Value::String);
  }
  bool Key(const char* text, rapidjson::SizeType length, bool) {
    m_input.Mark();
    if (m_skipping > 0) return true;
    m_key = std::string(text, length);
    return true;
  }
  bool StartObject() { return Open(true); }
  bool EndObject(rapidjson::SizeType) { return Close(true); }
  bool StartArray() { return Open(false); }
  bool EndArray(rapidjson::SizeType) { return Close(false); }

 private:
  enum class State { Start, Major, Minor, Metadata, Root, Info, InFolder, AfterRoot, Done };
  enum class Value { Number, String, True, False, Other };

  bool Fail(std::string reason) {
    if (m_failure.empty()) m_failure = std::move(reason);
    return false;
  }

  bool Scalar(Value value) {
    m_input.Mark();
    if (m_skipping > 0) return true;
    switch (m_state) {
      case State::Major: {
        if (value != Value::Number || Unsigned(m_number) != 1u)
          return Fail("not an ncdu export of major version 1");
        m_state = State::Minor;
        return true;
      }
      case State::Minor:
        if (value != Value::Number || !Unsigned(m_number))
          return Fail("not an ncdu export: no minor version");
        m_state = State::Metadata;
        return true;
      case State::Info:
        return Field(value);
      default:
        return Fail("not an ncdu export: a value where an entry belongs");
    }
  }

  bool Open(bool object) {
    m_input.Mark();
    if (m_skipping > 0 || (m_state == State::Info && !m_key.empty())) {
      // A field of a kind the reader does not know: its value is passed over whole.
      ++m_skipping;
      return true;
    }
    switch (m_state) {
      case State::Start:
        if (object) return Fail("not an ncdu export: it does not begin with an array");
        m_state = State::Major;
        return true;
      case State::Metadata:
        if (!object) return Fail("not an ncdu export: no metadata object");
        ++m_skipping;
        m_state = State::Root;
        return true;
      case State::Root:
      case State::InFolder:
        if (object) {
          if (m_state == State::Root) return Fail("not an ncdu export: the root is not a folder");
          return StartEntry(false);
        }
        if (m_open.size() >= kDeepest) return Fail("folders nested deeper than 32768 levels");
        m_state = State::Info;
        m_pendingFolder = true;
        return true;
      case State::Info:
        if (!object || !m_pendingFolder || m_inEntry)
          return Fail("not an ncdu export: a folder does not begin with its own entry");
        return StartEntry(true);
      default:
        return Fail("not an ncdu export: more than one tree");
    }
  }

  bool Close(bool object) {
    m_input.Mark();
    if (m_skipping > 0) {
      --m_skipping;
      if (m_skipping == 0 && m_state == State::Info) m_key.clear();
      return true;
    }
    if (object) {
      if (m_state != State::Info || !m_inEntry) return Fail("not an ncdu export");
      return EndEntry();
    }
    switch (m_state) {
      case State::InFolder: {
        m_tree.m_nodes[m_open.back().Node].End = static_cast<Index>(m_tree.m_nodes.size());
        m_open.pop_back();
        m_state = m_open.empty() ? State::AfterRoot : State::InFolder;
        return true;
      }
      case State::AfterRoot:
        m_state = State::Done;
        return true;
      case State::Info:
        return Fail("not an ncdu export: a folder without its own entry");
      default:
        return Fail("not an ncdu export: it ends before its tree");
    }
  }

  bool StartEntry(bool folder) {
    m_inEntry = true;
    m_pendingFolder = folder;
    m_state = State::Info;
    m_key.clear();
    m_entry = {};
    m_entry.Flags = folder ? kFolder : 0;
    m_hasName = false;
    m_hasDevice = false;
    m_nlink = 0;
    m_hlnkc = false;
    return true;
  }

  bool Size(const std::string& key, std::int64_t& into) {
    const std::optional<std::uint64_t> value = Unsigned(m_number);
    if (!value) {
      return Fail(m_number.starts_with('-') || m_number.find_first_of(".eE") != std::string::npos
                      ? "the field " + key + " is not a size in bytes"
                      : "the field " + key + " is too large for 64 bits");
    }
    if (*value > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
      return Fail("the field " + key + " is too large for 64 bits");
    into = static_cast<std::int64_t>(*value);
    return true;
  }

  bool Identity(const std::string& key, std::uint64_t& into) {
    const std::optional<std::uint64_t> value = Unsigned(m_number);
    if (!value) return Fail("the field " + key + " is not a number of 64 bits");
    into = *value;
    return true;
  }

  bool Field(Value value) {
    const std::string key = std::move(m_key);
    m_key.clear();
    const bool number = value == Value::Number;
    const bool flag = value == Value::True || value == Value::False;
    if (key == "name") {
      if (value != Value::String) return Fail("a name that is not a string");
      if (m_string.empty()) return Fail("an empty name");
      if (std::memchr(m_string.data(), '\0', m_string.size()) != nullptr)
        return Fail("a name with a NUL byte");
      // Below the root, a name is one name: it can neither climb nor reach into a subfolder.
      if (!m_open.empty() &&
          (m_string == "." || m_string == ".." || m_string.find('/') != std::string_view::npos))
        return Fail("a name that is not one name: " + std::string(m_string));
      m_entry.NameAt = m_tree.m_names.size();
      m_entry.NameSize = static_cast<std::uint32_t>(m_string.size());
      m_tree.m_names.append(m_string);
      m_hasName = true;
      return true;
    }
    if (key == "asize" && number) return Size(key, m_entry.Size);
    if (key == "dsize" && number) return Size(key, m_entry.Disk);
    if (key == "ino" && number) return Identity(key, m_inode);
    if (key == "dev" && number) {
      m_hasDevice = true;
      return Identity(key, m_device);
    }
    if (key == "nlink" && number) return Identity(key, m_nlink);
    if (key == "hlnkc" && flag) {
      m_hlnkc = value == Value::True;
      return true;
    }
    if (key == "read_error" && flag) {
      if (value == Value::True) m_entry.Flags |= kReadError;
      return true;
    }
    if (key == "notreg" && flag) {
      if (value == Value::True) m_entry.Flags |= kNotRegular;
      return true;
    }
    if (key == "excluded") {
      Exclusion kind = Exclusion::Other;
      if (value == Value::String) {
        if (m_string == "pattern") kind = Exclusion::Pattern;
        // ncdu 2 writes "otherfs", ncdu 1 "othfs".
        if (m_string == "otherfs" || m_string == "othfs") kind = Exclusion::OtherFileSystem;
        if (m_string == "kernfs") kind = Exclusion::PseudoFileSystem;
      } else if (value == Value::False) {
        kind = Exclusion::None;
      }
      m_entry.Flags |= static_cast<std::uint8_t>(static_cast<int>(kind) << kExclusionShift);
      return true;
    }
    if (key == "asize" || key == "dsize" || key == "ino" || key == "dev" || key == "nlink")
      return Fail("the field " + key + " is not a number");
    return true;  // a field this reader does not use (uid, mode, mtime, ...)
  }

  bool EndEntry() {
    if (!m_hasName) return Fail("an entry without a name");
    if (m_tree.m_nodes.size() >= kNone) return Fail("more entries than this reader can hold");
    const Index parent = m_open.empty() ? kNone : m_open.back().Node;
    const std::uint64_t device =
        m_hasDevice ? m_device : (m_open.empty() ? 0 : m_open.back().Device);
    const Index index = static_cast<Index>(m_tree.m_nodes.size());
    m_entry.Parent = parent;
    m_entry.End = index + 1;
    if (m_hlnkc || m_nlink > 1) {
      m_entry.Flags |= kHardLinked;
      m_tree.m_links.push_back({index, {device, m_inode}});
    }
    m_tree.m_nodes.push_back(m_entry);
    m_inEntry = false;
    if (m_pendingFolder) {
      m_open.push_back({index, device});
      m_pendingFolder = false;
    }
    m_state = State::InFolder;
    return true;
  }

  struct OpenFolder {
    Index Node;
    std::uint64_t Device;
  };

  ImportedTree& m_tree;
  Input& m_input;
  State m_state = State::Start;
  std::size_t m_skipping = 0;
  std::string m_key;
  std::string_view m_number;
  std::string_view m_string;
  std::vector<OpenFolder> m_open;
  bool m_inEntry = false;
  bool m_pendingFolder = false;
  Node m_entry;
  bool m_hasName = false;
  bool m_hasDevice = false;
  std::uint64_t m_device = 0;
  std::uint64_t m_inode = 0;
  std::uint64_t m_nlink = 0;
  bool m_hlnkc = false;
  std::string m_failure;
};

ImportedTree::ImportedTree() = default;
ImportedTree::~ImportedTree() = default;

std::unique_ptr<ImportedTree> ImportedTree::Read(const ExportSource& source,
                                                 ImportFailure& failure) {
  std::unique_ptr<ImportedTree> tree(new ImportedTree());
  Input input(source);
  Builder builder(*tree, input);
  rapidjson::Reader reader;
  constexpr unsigned kFlags = rapidjson::kParseIterativeFlag |
                              rapidjson::kParseNumbersAsStringsFlag |
                              rapidjson::kParseStopWhenDoneFlag;
  const rapidjson::ParseResult parsed = reader.Parse<kFlags>(input, builder);
  if (parsed && builder.Done()) {
    // Nothing but blanks may follow the tree.
    while (input.Peek() == ' ' || input.Peek() == '\n' || input.Peek() == '\r' ||
           input.Peek() == '\t')
      input.Take();
    if (input.Peek() == '\0' && !input.TooLong() && !input.ReadFailed()) {
      tree->m_names.shrink_to_fit();
      tree->m_nodes.shrink_to_fit();
      return tree;
    }
    failure = {input.Tell(), input.ReadFailed() ? "the export could not be read to its end"
                                                : "something follows the tree"};
    return nullptr;
  }
  failure.Offset = parsed ? input.Tell() : parsed.Offset();
  if (input.ReadFailed()) {
    failure.Reason = "the export could not be read to its end";
  } else if (input.TooLong()) {
    failure.Reason = "a value longer than 1 MiB";
  } else if (!builder.Failure().empty()) {
    failure.Reason = builder.Failure();
  } else if (parsed.Code() == rapidjson::kParseErrorDocumentEmpty ||
             (parsed.Code() != rapidjson::kParseErrorNone && input.Peek() == '\0')) {
    failure.Reason = "the export ends before its tree does (cut short?)";
  } else {
    failure.Reason = std::string("not JSON: ") + rapidjson::GetParseError_En(parsed.Code());
  }
  return nullptr;
}

std::unique_ptr<ImportedTree> ImportedTree::Read(std::string_view text, ImportFailure& failure) {
  std::size_t at = 0;
  const ExportSource pieces = [&](char* buffer, std::size_t size) -> std::optional<std::size_t> {
    const std::size_t count = std::min(size, text.size() - at);
    std::memcpy(buffer, text.data() + at, count);
    at += count;
    return count;
  };
  return Read(pieces, failure);
}

std::unique_ptr<ImportedTree> ImportedTree::ReadFile(const std::string& path,
                                                     ImportFailure& failure) {
  platform::ReadableFile file(path);
  if (!file.Opened().Ok()) {
    failure = {0, file.Opened().Text(), true};
    return nullptr;
  }
  platform::Outcome readError;
  const ExportSource source = [&](char* buffer, std::size_t size) -> std::optional<std::size_t> {
    const platform::Result<std::size_t> got = file.Read(buffer, size);
    if (!got.Ok()) {
      readError = got.Failure();
      return std::nullopt;
    }
    return *got;
  };
  std::unique_ptr<ImportedTree> tree = Read(source, failure);
  if (!readError.Ok()) failure.Reason = readError.Text();
  return tree;
}

ImportedTree::Entry ImportedTree::At(Index node) const {
  const Node& n = m_nodes[node];
  Entry entry;
  entry.Name = std::string_view(m_names).substr(n.NameAt, n.NameSize);
  entry.IsFolder = (n.Flags & kFolder) != 0;
  entry.ReadError = (n.Flags & kReadError) != 0;
  entry.NotRegular = (n.Flags & kNotRegular) != 0;
  entry.HardLinked = (n.Flags & kHardLinked) != 0;
  entry.Excluded = ExclusionOf(n.Flags);
  entry.Size = n.Size;
  entry.Disk = n.Disk;
  entry.Parent = n.Parent;
  if (entry.HardLinked) {
    const auto found =
        std::lower_bound(m_links.begin(), m_links.end(),
                         std::make_pair(node, std::make_pair(std::uint64_t{0}, std::uint64_t{0})));
    if (found != m_links.end() && found->first == node) {
      entry.Device = found->second.first;
      entry.Inode = found->second.second;
    }
  }
  return entry;
}

std::size_t ImportedTree::Size() const {
  return m_nodes.size();
}

ImportedTree::Index ImportedTree::End(Index node) const {
  return m_nodes[node].End;
}

std::vector<ImportedTree::Index> ImportedTree::TopFolders() const {
  std::vector<Index> folders;
  if (m_nodes.empty()) return folders;
  for (Index child = 1; child < m_nodes[0].End; child = m_nodes[child].End) {
    if (ExclusionOf(m_nodes[child].Flags) != Exclusion::Pattern &&
        CountsAsFolder(m_nodes[child].Flags))
      folders.push_back(child);
  }
  return folders;
}

std::string ImportedTree::PathOf(Index node, char separator) const {
  std::vector<Index> chain;
  for (Index at = node; at != kNone; at = m_nodes[at].Parent)
    chain.push_back(at);
  std::string path;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    if (it != chain.rbegin() && !(path.size() == 1 && path[0] == separator)) path += separator;
    path.append(m_names, m_nodes[*it].NameAt, m_nodes[*it].NameSize);
  }
  return path;
}

std::optional<ImportedTree::Index> ImportedTree::Find(std::string_view path, char separator) const {
  if (m_nodes.empty()) return std::nullopt;
  const std::string_view root = std::string_view(m_names).substr(0, m_nodes[0].NameSize);
  if (!path.starts_with(root)) return std::nullopt;
  std::string_view rest = path.substr(root.size());
  Index at = 0;
  while (!rest.empty()) {
    if (rest[0] == separator) {
      rest.remove_prefix(1);
    } else if (!(root.size() == 1 && root[0] == separator) || at != 0) {
      return std::nullopt;
    }
    const std::string_view name = rest.substr(0, rest.find(separator));
    rest.remove_prefix(name.size());
    std::optional<Index> found;
    for (Index child = at + 1; child < m_nodes[at].End; child = m_nodes[child].End) {
      const Node& n = m_nodes[child];
      if (std::string_view(m_names).substr(n.NameAt, n.NameSize) == name) {
        found = child;
        break;
      }
    }
    if (!found) return std::nullopt;
    at = *found;
  }
  return at;
}

FolderStatistics ImportedTree::Statistics(Index node) const {
  FolderStatistics statistics;
  if ((m_nodes[node].Flags & kReadError) != 0) statistics.UnreadableFolders = 1;
  for (Index at = node + 1; at < m_nodes[node].End;) {
    const Node& n = m_nodes[at];
    if (ExclusionOf(n.Flags) == Exclusion::Pattern) {
      statistics.ExcludedEntries = SaturatingAdd(statistics.ExcludedEntries, 1);
      at = n.End;
      continue;
    }
    if (CountsAsFolder(n.Flags)) {
      statistics.FolderCount = SaturatingAdd(statistics.FolderCount, 1);
      if ((n.Flags & kReadError) != 0)
        statistics.UnreadableFolders = SaturatingAdd(statistics.UnreadableFolders, 1);
    } else {
      statistics.FileCount = SaturatingAdd(statistics.FileCount, 1);
      statistics.TotalSize = SaturatingAdd(statistics.TotalSize, n.Size);
    }
    ++at;
  }
  return statistics;
}

std::int64_t ImportedTree::DiskSize(Index node) const {
  SeenLinks seen;
  return DiskSize(node, seen);
}

std::int64_t ImportedTree::DiskSize(Index node, SeenLinks& seen) const {
  std::int64_t disk = 0;
  for (Index at = node; at < m_nodes[node].End;) {
    const Node& n = m_nodes[at];
    if (ExclusionOf(n.Flags) == Exclusion::Pattern) {
      at = n.End;
      continue;
    }
    const Entry entry = (n.Flags & kHardLinked) != 0 ? At(at) : Entry{};
    if ((n.Flags & kHardLinked) == 0 || seen.insert({entry.Device, entry.Inode}).second)
      disk = SaturatingAdd(disk, n.Disk);
    ++at;
  }
  return disk;
}

bool ImportedTree::List(Index node, char separator, const TreeVisitor& visit) const {
  std::string path = PathOf(node, separator);
  // The length of the path of each open folder, from node down.
  std::vector<std::pair<Index, std::size_t>> open{{node, path.size()}};
  for (Index at = node + 1; at < m_nodes[node].End;) {
    const Node& n = m_nodes[at];
    while (at >= m_nodes[open.back().first].End)
      open.pop_back();
    if (ExclusionOf(n.Flags) == Exclusion::Pattern) {
      at = n.End;
      continue;
    }
    path.resize(open.back().second);
    if (!(path.size() == 1 && path[0] == separator)) path += separator;
    path.append(m_names, n.NameAt, n.NameSize);
    const bool folder = CountsAsFolder(n.Flags);
    TreeEntry entry;
    entry.Path = path;
    entry.IsFolder = folder;
    entry.Size = folder ? -1 : n.Size;
    entry.DiskSize = n.Disk;
    if (!visit(entry)) return false;
    if ((n.Flags & kFolder) != 0) open.push_back({at, path.size()});
    ++at;
  }
  return true;
}

}  // namespace quillet
