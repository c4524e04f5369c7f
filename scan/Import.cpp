// The reader of ncdu's JSON export: RapidJSON's iterative SAX parser (no recursion however deep
// the nesting; string bytes left as they are, so names that are not UTF-8 survive), and a state
// machine over its events that builds the tree.
#include "scan/Import.h"

#include <rapidjson/error/en.h>
#include <rapidjson/reader.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <cstdlib>
#include <limits>
#include <new>
#include <type_traits>
#include <set>
#include <utility>

#include "scan/Saturate.h"
#include "scan/platform/Platform.h"

namespace quillet {

// One entry in 16 bytes: its name runs from NameAt to the next node's (names are kept in the
// nodes' order), a size past 32 bits is kept exactly beside the nodes, and a folder's End and
// parent are in the folder table (a file's subtree is itself, its parent the folder before it
// whose subtree holds it).
struct ImportedTree::Node {
  std::uint32_t NameAt = 0;
  std::uint32_t Size = 0;  // kBigSize: in m_bigSizes
  std::uint32_t Disk = 0;  // kBigDisk: in m_bigDisks
  std::uint16_t Flags = 0;
};

namespace {

constexpr std::uint8_t kFolder = 1;
constexpr std::uint8_t kReadError = 2;
constexpr std::uint8_t kNotRegular = 4;
constexpr std::uint8_t kHardLinked = 8;
constexpr int kExclusionShift = 4;  // three bits
constexpr std::uint16_t kBigSize = 0x100;
constexpr std::uint16_t kBigDisk = 0x200;

Exclusion ExclusionOf(std::uint16_t flags) {
  return static_cast<Exclusion>((flags >> kExclusionShift) & 7);
}

// A folder of the export, or one it did not enter (a mount, or a link-like folder): a walk
// counts either as a folder.
bool CountsAsFolder(std::uint16_t flags) {
  const Exclusion excluded = ExclusionOf(flags);
  return (flags & kFolder) != 0 || (excluded != Exclusion::None && excluded != Exclusion::Pattern);
}

// Pulls the export's bytes through a buffer, for the parser. Past kLongestValue bytes since the
// last mark, or when reading fails, it shows the parser an end, and says which. The parser asks
// for every byte: the common case is one compare, the buffer's end and the limit folded into one
// stop pointer.
class Input {
 public:
  using Ch = char;
  Input(const ExportSource& source) : m_source(source), m_buffer(kPiece) {}

  Ch Peek() { return m_at != m_stop ? *m_at : Edge(); }
  Ch Take() {
    if (m_at != m_stop) return *m_at++;
    const Ch c = Edge();
    if (m_at != m_stop) ++m_at;
    return c;
  }
  std::size_t Tell() const { return static_cast<std::size_t>(Offset()); }
  // The parser writes only in place, which is not asked of it.
  Ch* PutBegin() { return nullptr; }
  void Put(Ch) {}
  void Flush() {}
  std::size_t PutEnd(Ch*) { return 0; }

  // The run of bytes ahead, up to the stop, that a string keeps as they are: no quote, backslash
  // or control character among them.
  std::string_view Plain() const {
    static constexpr auto kPlain = [] {
      std::array<bool, 256> plain{};
      for (int c = 0x20; c < 256; ++c)
        plain[c] = c != '"' && c != '\\';
      return plain;
    }();
    const char* end = m_at;
    while (end != m_stop && kPlain[static_cast<unsigned char>(*end)])
      ++end;
    return {m_at, static_cast<std::size_t>(end - m_at)};
  }
  void Skip(std::size_t count) { m_at += count; }
  // Takes the blanks ahead.
  void SkipBlanks() {
    const auto blank = [](char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t'; };
    for (;;) {
      while (m_at != m_stop && blank(*m_at))
        ++m_at;
      if (m_at != m_stop || !blank(Edge())) return;
    }
  }

  void Mark() {
    m_mark = Offset();
    if (!m_tooLong) Stop();  // past the limit, the parser sees an end until it stops
  }
  // What the parser took since the mark.
  std::string_view SinceMark() const {
    return {m_buffer.data() + (m_mark - m_base), static_cast<std::size_t>(Offset() - m_mark)};
  }
  bool TooLong() const { return m_tooLong; }
  bool ReadFailed() const { return m_readFailed; }

 private:
  static constexpr std::size_t kPiece = std::size_t{1} << 16;

  std::uint64_t Offset() const {
    return m_base + static_cast<std::uint64_t>(m_at - m_buffer.data());
  }
  // The first byte not to be shown: the buffer's end, or the first byte past the limit.
  void Stop() {
    const std::uint64_t limit = m_mark + ImportedTree::kLongestValue + 1;
    const auto filled = static_cast<std::uint64_t>(m_end - m_buffer.data());
    m_stop = limit - m_base < filled ? m_buffer.data() + (limit - m_base) : m_end;
  }
  // At the stop: the limit reached, or the buffer to be filled again.
  Ch Edge() {
    if (m_tooLong || Offset() - m_mark > ImportedTree::kLongestValue) {
      m_tooLong = true;
      return '\0';
    }
    if (!Fill()) return '\0';
    return *m_at;
  }
  // The bytes since the mark (at most the longest value) stay in the buffer: a value's text is
  // there whole when it ends. They move to the buffer's start when little room is left after them,
  // and the buffer doubles when they fill half of it, so each byte moves a few times at most.
  bool Fill() {
    if (m_done || m_readFailed) return false;
    auto used = static_cast<std::size_t>(m_end - m_buffer.data());
    if (m_buffer.size() - used < kPiece / 4) {
      const auto from = static_cast<std::size_t>(m_mark - m_base);
      used -= from;
      std::memmove(m_buffer.data(), m_buffer.data() + from, used);
      m_base = m_mark;
      if (m_buffer.size() - used < m_buffer.size() / 2) m_buffer.resize(m_buffer.size() * 2);
    }
    const std::size_t room = m_buffer.size() - used;
    const std::optional<std::size_t> got = m_source(m_buffer.data() + used, room);
    m_at = m_buffer.data() + used;
    m_end = m_at;
    m_stop = m_at;
    if (!got) {
      m_readFailed = true;
      return false;
    }
    m_end = m_at + std::min(*got, room);
    Stop();
    if (m_at == m_end) m_done = true;
    return m_at != m_end;
  }

  const ExportSource& m_source;
  std::vector<char> m_buffer;
  std::uint64_t m_base = 0;  // the offset of the buffer's first byte
  const char* m_at = m_buffer.data();
  const char* m_end = m_at;
  const char* m_stop = m_at;
  std::uint64_t m_mark = 0;
  bool m_done = false;
  bool m_tooLong = false;
  bool m_readFailed = false;
};

// The parser's blanks skipped a run at a time (found by argument-dependent lookup, before the
// parser's own).
[[maybe_unused]] void SkipWhitespace(Input& input) {
  input.SkipBlanks();
}

}  // namespace
}  // namespace quillet

// The parser copies a string's plain bytes a run at a time, as it does from a string in memory,
// rather than byte by byte.
namespace rapidjson {
template <>
template <>
inline void Reader::ScanCopyUnescapedString(quillet::Input& is, Reader::StackStream<char>& os) {
  const std::string_view plain = is.Plain();
  if (plain.empty()) return;
  std::memcpy(os.Push(static_cast<SizeType>(plain.size())), plain.data(), plain.size());
  is.Skip(plain.size());
}
}  // namespace rapidjson

namespace quillet {

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
  // A number is a whole one of 64 bits (the parser gives its value), or else its text tells what
  // it is: negative, a fraction or exponent, or a whole number too large.
  bool Int(int) { return Number(std::nullopt, "-"); }
  bool Uint(unsigned value) { return Number(value, {}); }
  bool Int64(std::int64_t) { return Number(std::nullopt, "-"); }
  bool Uint64(std::uint64_t value) { return Number(value, {}); }
  bool Double(double) {
    std::string_view text = m_input.SinceMark();
    text.remove_prefix(std::min(text.find_first_not_of(" \t\r\n:,["), text.size()));
    return Number(std::nullopt, text);
  }
  bool RawNumber(const char*, rapidjson::SizeType, bool) { return Fail("unexpected number"); }
  bool String(const char* text, rapidjson::SizeType length, bool) {
    m_string = std::string_view(text, length);
    return Scalar(Value::String);
  }
  bool Key(const char* text, rapidjson::SizeType length, bool) {
    m_input.Mark();
    if (m_skipping > 0) return true;
    m_key = KeyOf(std::string_view(text, length));
    return true;
  }
  bool StartObject() { return Open(true); }
  bool EndObject(rapidjson::SizeType) { return Close(true); }
  bool StartArray() { return Open(false); }
  bool EndArray(rapidjson::SizeType) { return Close(false); }

 private:
  enum class State { Start, Major, Minor, Metadata, Root, Info, InFolder, AfterRoot, Done };
  enum class Value { Number, String, True, False, Other };
  // The fields the reader knows; None: no field named (or one named by nothing).
  enum class FieldKey : std::uint8_t {
    None,
    Name,
    Asize,
    Dsize,
    Ino,
    Dev,
    Nlink,
    Hlnkc,
    ReadError,
    NotRegular,
    Excluded,
    Other
  };

  static FieldKey KeyOf(std::string_view key) {
    const auto is = [key](std::string_view name, FieldKey known) {
      return key == name ? known : FieldKey::Other;
    };
    switch (key.size()) {
      case 0:
        return FieldKey::None;
      case 3:
        return key[0] == 'i' ? is("ino", FieldKey::Ino) : is("dev", FieldKey::Dev);
      case 4:
        return is("name", FieldKey::Name);
      case 5:
        switch (key[0]) {
          case 'a':
            return is("asize", FieldKey::Asize);
          case 'd':
            return is("dsize", FieldKey::Dsize);
          case 'n':
            return is("nlink", FieldKey::Nlink);
          default:
            return is("hlnkc", FieldKey::Hlnkc);
        }
      case 6:
        return is("notreg", FieldKey::NotRegular);
      case 8:
        return is("excluded", FieldKey::Excluded);
      case 10:
        return is("read_error", FieldKey::ReadError);
      default:
        return FieldKey::Other;
    }
  }
  static const char* NameOf(FieldKey key) {
    switch (key) {
      case FieldKey::Asize:
        return "asize";
      case FieldKey::Dsize:
        return "dsize";
      case FieldKey::Ino:
        return "ino";
      case FieldKey::Dev:
        return "dev";
      default:
        return "nlink";
    }
  }

  bool Number(std::optional<std::uint64_t> value, std::string_view text) {
    m_number = value;
    m_numberText = text;
    return Scalar(Value::Number);
  }

  bool Fail(std::string reason) {
    if (m_failure.empty()) m_failure = std::move(reason);
    return false;
  }

  bool Scalar(Value value) {
    m_input.Mark();
    if (m_skipping > 0) return true;
    switch (m_state) {
      case State::Major: {
        if (value != Value::Number || m_number != 1u)
          return Fail("not an ncdu export of major version 1");
        m_state = State::Minor;
        return true;
      }
      case State::Minor:
        if (value != Value::Number || !m_number)
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
    if (m_skipping > 0 || (m_state == State::Info && m_key != FieldKey::None)) {
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
      if (m_skipping == 0 && m_state == State::Info) m_key = FieldKey::None;
      return true;
    }
    if (object) {
      if (m_state != State::Info || !m_inEntry) return Fail("not an ncdu export");
      return EndEntry();
    }
    switch (m_state) {
      case State::InFolder: {
        m_tree.m_folders[m_open.back().Rank].End = static_cast<Index>(m_tree.m_nodes.size());
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
    m_key = FieldKey::None;
    m_entry = {};
    m_entry.Flags = folder ? kFolder : 0;
    m_hasName = false;
    m_size = m_disk = 0;
    m_hasDevice = false;
    m_nlink = 0;
    m_hlnkc = false;
    return true;
  }

  bool Size(FieldKey field, std::int64_t& into) {
    const std::optional<std::uint64_t> value = m_number;
    if (value && *value <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
      into = static_cast<std::int64_t>(*value);
      return true;
    }
    const bool notSize = !value && (m_numberText.starts_with('-') ||
                                    m_numberText.find_first_of(".eE") != std::string_view::npos);
    return Fail(std::string("the field ") + NameOf(field) +
                (notSize ? " is not a size in bytes" : " is too large for 64 bits"));
  }

  bool Identity(FieldKey field, std::uint64_t& into) {
    const std::optional<std::uint64_t> value = m_number;
    if (!value)
      return Fail(std::string("the field ") + NameOf(field) + " is not a number of 64 bits");
    into = *value;
    return true;
  }

  bool Field(Value value) {
    const FieldKey key = m_key;
    m_key = FieldKey::None;
    const bool number = value == Value::Number;
    const bool flag = value == Value::True || value == Value::False;
    if (key == FieldKey::Name) {
      if (value != Value::String) return Fail("a name that is not a string");
      if (m_string.empty()) return Fail("an empty name");
      if (std::memchr(m_string.data(), '\0', m_string.size()) != nullptr)
        return Fail("a name with a NUL byte");
      // Below the root, a name is one name: it can neither climb nor reach into a subfolder.
      if (!m_open.empty() &&
          (m_string == "." || m_string == ".." || m_string.find('/') != std::string_view::npos))
        return Fail("a name that is not one name: " + std::string(m_string));
      // A name given twice replaces the first: the names stay one after another in node order.
      if (m_hasName) m_tree.m_names.truncate(m_entry.NameAt);
      if (m_string.size() > UINT32_MAX - m_tree.m_names.size())
        return Fail("more names than this reader can hold");
      m_entry.NameAt = static_cast<std::uint32_t>(m_tree.m_names.size());
      m_tree.m_names.append(m_string.data(), m_string.size());
      m_hasName = true;
      return true;
    }
    if (key == FieldKey::Asize && number) return Size(key, m_size);
    if (key == FieldKey::Dsize && number) return Size(key, m_disk);
    if (key == FieldKey::Ino && number) return Identity(key, m_inode);
    if (key == FieldKey::Dev && number) {
      m_hasDevice = true;
      return Identity(key, m_device);
    }
    if (key == FieldKey::Nlink && number) return Identity(key, m_nlink);
    if (key == FieldKey::Hlnkc && flag) {
      m_hlnkc = value == Value::True;
      return true;
    }
    if (key == FieldKey::ReadError && flag) {
      // A field given twice says what its last one says.
      m_entry.Flags = static_cast<std::uint16_t>(
          value == Value::True ? m_entry.Flags | kReadError : m_entry.Flags & ~kReadError);
      return true;
    }
    if (key == FieldKey::NotRegular && flag) {
      m_entry.Flags = static_cast<std::uint16_t>(
          value == Value::True ? m_entry.Flags | kNotRegular : m_entry.Flags & ~kNotRegular);
      return true;
    }
    if (key == FieldKey::Excluded) {
      Exclusion kind = Exclusion::Other;
      if (value == Value::String) {
        if (m_string == "pattern") kind = Exclusion::Pattern;
        // ncdu 2 writes "otherfs", ncdu 1 "othfs".
        if (m_string == "otherfs" || m_string == "othfs") kind = Exclusion::OtherFileSystem;
        if (m_string == "kernfs") kind = Exclusion::PseudoFileSystem;
      } else if (value == Value::False) {
        kind = Exclusion::None;
      }
      m_entry.Flags = static_cast<std::uint16_t>((m_entry.Flags & ~(7 << kExclusionShift)) |
                                                 static_cast<int>(kind) << kExclusionShift);
      return true;
    }
    if (key == FieldKey::Asize || key == FieldKey::Dsize || key == FieldKey::Ino ||
        key == FieldKey::Dev || key == FieldKey::Nlink)
      return Fail(std::string("the field ") + NameOf(key) + " is not a number");
    return true;  // a field this reader does not use (uid, mode, mtime, ...)
  }

  bool EndEntry() {
    if (!m_hasName) return Fail("an entry without a name");
    if (m_tree.m_nodes.size() >= kNone) return Fail("more entries than this reader can hold");
    const std::uint64_t device =
        m_hasDevice ? m_device : (m_open.empty() ? 0 : m_open.back().Device);
    const Index index = static_cast<Index>(m_tree.m_nodes.size());
    m_entry.Size = Small(m_size, kBigSize, m_tree.m_bigSizes, index);
    m_entry.Disk = Small(m_disk, kBigDisk, m_tree.m_bigDisks, index);
    if (m_hlnkc || m_nlink > 1) {
      m_entry.Flags |= kHardLinked;
      m_tree.m_links.push_back({index, {device, m_inode}});
    }
    m_tree.m_nodes.push_back(m_entry);
    m_inEntry = false;
    if (m_pendingFolder) {
      const Index parent = m_open.empty() ? kNone : m_open.back().Node;
      m_open.push_back({index, static_cast<Index>(m_tree.m_folders.size()), device});
      m_tree.m_folders.push_back({index, index + 1, parent});
      m_pendingFolder = false;
    }
    m_state = State::InFolder;
    return true;
  }

  // A size as the node keeps it: itself where it fits 32 bits, else 0, flagged, and kept whole in
  // big (in node order, so that it can be searched).
  std::uint32_t Small(std::int64_t size, std::uint16_t flag,
                      std::vector<std::pair<Index, std::int64_t>>& big, Index index) {
    if (size >= 0 && size <= static_cast<std::int64_t>(UINT32_MAX))
      return static_cast<std::uint32_t>(size);
    m_entry.Flags |= flag;
    big.push_back({index, size});
    return 0;
  }

  struct OpenFolder {
    Index Node;
    Index Rank;  // in the folder table
    std::uint64_t Device;
  };

  ImportedTree& m_tree;
  Input& m_input;
  State m_state = State::Start;
  std::size_t m_skipping = 0;
  FieldKey m_key = FieldKey::None;
  std::optional<std::uint64_t> m_number;  // a whole number's value
  std::string_view m_numberText;          // the text of any other
  std::string_view m_string;
  std::vector<OpenFolder> m_open;
  bool m_inEntry = false;
  bool m_pendingFolder = false;
  Node m_entry;
  bool m_hasName = false;
  std::int64_t m_size = 0;  // asize
  std::int64_t m_disk = 0;  // dsize
  bool m_hasDevice = false;
  std::uint64_t m_device = 0;
  std::uint64_t m_inode = 0;
  std::uint64_t m_nlink = 0;
  bool m_hlnkc = false;
  std::string m_failure;
};

template <typename T>
ImportedTree::Array<T>::~Array() {
  std::free(m_data);
}

template <typename T>
void ImportedTree::Array<T>::append(const T* values, std::size_t count) {
  static_assert(std::is_trivially_copyable_v<T>);
  if (count > m_capacity - m_size) {
    std::size_t capacity = std::max<std::size_t>(m_capacity * 2, 1024 / sizeof(T));
    if (capacity - m_size < count) capacity = m_size + count;
    T* grown = static_cast<T*>(std::realloc(static_cast<void*>(m_data), capacity * sizeof(T)));
    if (grown == nullptr) throw std::bad_alloc();
    m_data = grown;
    m_capacity = capacity;
  }
  std::memcpy(static_cast<void*>(m_data + m_size), values, count * sizeof(T));
  m_size += count;
}

template <typename T>
void ImportedTree::Array<T>::shrink_to_fit() {
  if (m_size == 0 || m_size == m_capacity) return;
  if (T* fitted = static_cast<T*>(std::realloc(static_cast<void*>(m_data), m_size * sizeof(T)))) {
    m_data = fitted;
    m_capacity = m_size;
  }
}

ImportedTree::ImportedTree() = default;
ImportedTree::~ImportedTree() = default;

std::string_view ImportedTree::NameOf(Index node) const {
  static_assert(sizeof(Node) == 16);
  const std::size_t begin = m_nodes[node].NameAt;
  const std::size_t end = node + 1 < m_nodes.size() ? m_nodes[node + 1].NameAt : m_names.size();
  return {m_names.data() + begin, end - begin};
}

namespace {

std::int64_t Whole(std::uint32_t small, bool big, ImportedTree::Index node,
                   const std::vector<std::pair<ImportedTree::Index, std::int64_t>>& sizes) {
  if (!big) return small;
  const auto found = std::lower_bound(sizes.begin(), sizes.end(), std::make_pair(node, INT64_MIN));
  return found != sizes.end() && found->first == node ? found->second : 0;
}

}  // namespace

std::int64_t ImportedTree::SizeOf(Index node) const {
  return Whole(m_nodes[node].Size, (m_nodes[node].Flags & kBigSize) != 0, node, m_bigSizes);
}

std::int64_t ImportedTree::DiskOf(Index node) const {
  return Whole(m_nodes[node].Disk, (m_nodes[node].Flags & kBigDisk) != 0, node, m_bigDisks);
}

const ImportedTree::Folder* ImportedTree::FolderOf(Index node) const {
  if ((m_nodes[node].Flags & kFolder) == 0) return nullptr;
  const auto found = std::lower_bound(m_folders.begin(), m_folders.end(), node,
                                      [](const Folder& f, Index n) { return f.Node < n; });
  return found != m_folders.end() && found->Node == node ? &*found : nullptr;
}

std::size_t ImportedTree::MemoryBytes() const {
  return m_nodes.capacity() * sizeof(Node) + m_names.capacity() +
         m_folders.capacity() * sizeof(Folder) + m_links.capacity() * sizeof(m_links[0]) +
         (m_bigSizes.capacity() + m_bigDisks.capacity()) * sizeof(m_bigSizes[0]);
}

ImportedTree::Index ImportedTree::ParentOf(Index node) const {
  if (node == 0 || node >= m_nodes.size()) return kNone;
  if (const Folder* folder = FolderOf(node)) return folder->Parent;
  // The last folder before node holds it, or lies in a subtree before it below the folder that
  // does: up from there, never more steps than the tree is deep.
  auto before = std::lower_bound(m_folders.begin(), m_folders.end(), node,
                                 [](const Folder& f, Index n) { return f.Node < n; });
  if (before == m_folders.begin()) return kNone;
  const Folder* at = &*std::prev(before);
  while (at->End <= node) {
    if (at->Parent == kNone) return kNone;
    at = FolderOf(at->Parent);
  }
  return at->Node;
}

std::unique_ptr<ImportedTree> ImportedTree::Read(const ExportSource& source,
                                                 ImportFailure& failure) {
  std::unique_ptr<ImportedTree> tree(new ImportedTree());
  Input input(source);
  Builder builder(*tree, input);
  rapidjson::Reader reader;
  constexpr unsigned kFlags = rapidjson::kParseIterativeFlag | rapidjson::kParseStopWhenDoneFlag;
  const rapidjson::ParseResult parsed = reader.Parse<kFlags>(input, builder);
  if (parsed && builder.Done()) {
    // Nothing but blanks may follow the tree.
    while (input.Peek() == ' ' || input.Peek() == '\n' || input.Peek() == '\r' ||
           input.Peek() == '\t')
      input.Take();
    if (input.Peek() == '\0' && !input.TooLong() && !input.ReadFailed()) {
      tree->m_names.shrink_to_fit();
      tree->m_nodes.shrink_to_fit();
      tree->m_folders.shrink_to_fit();
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
  entry.Name = NameOf(node);
  entry.IsFolder = (n.Flags & kFolder) != 0;
  entry.ReadError = (n.Flags & kReadError) != 0;
  entry.NotRegular = (n.Flags & kNotRegular) != 0;
  entry.HardLinked = (n.Flags & kHardLinked) != 0;
  entry.Excluded = ExclusionOf(n.Flags);
  entry.Size = SizeOf(node);
  entry.Disk = DiskOf(node);
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
  const Folder* folder = FolderOf(node);
  return folder ? folder->End : node + 1;
}

std::vector<ImportedTree::Index> ImportedTree::TopFolders() const {
  std::vector<Index> folders;
  if (m_nodes.empty()) return folders;
  for (Index child = 1, end = End(0); child < end; child = End(child)) {
    if (ExclusionOf(m_nodes[child].Flags) != Exclusion::Pattern &&
        CountsAsFolder(m_nodes[child].Flags))
      folders.push_back(child);
  }
  return folders;
}

std::string ImportedTree::PathOf(Index node, char separator) const {
  std::vector<Index> chain;
  for (Index at = node; at != kNone; at = ParentOf(at))
    chain.push_back(at);
  std::string path;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    if (it != chain.rbegin() && !(path.size() == 1 && path[0] == separator)) path += separator;
    path.append(NameOf(*it));
  }
  return path;
}

std::optional<ImportedTree::Index> ImportedTree::Find(std::string_view path, char separator) const {
  if (m_nodes.empty()) return std::nullopt;
  const std::string_view root = NameOf(0);
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
    for (Index child = at + 1, end = End(at); child < end; child = End(child)) {
      if (NameOf(child) == name) {
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
  for (Index at = node + 1, end = End(node); at < end;) {
    const Node& n = m_nodes[at];
    if (ExclusionOf(n.Flags) == Exclusion::Pattern) {
      statistics.ExcludedEntries = SaturatingAdd(statistics.ExcludedEntries, 1);
      at = End(at);
      continue;
    }
    if (CountsAsFolder(n.Flags)) {
      statistics.FolderCount = SaturatingAdd(statistics.FolderCount, 1);
      if ((n.Flags & kReadError) != 0)
        statistics.UnreadableFolders = SaturatingAdd(statistics.UnreadableFolders, 1);
    } else {
      statistics.FileCount = SaturatingAdd(statistics.FileCount, 1);
      statistics.TotalSize = SaturatingAdd(statistics.TotalSize, SizeOf(at));
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
  for (Index at = node, end = End(node); at < end;) {
    const Node& n = m_nodes[at];
    if (ExclusionOf(n.Flags) == Exclusion::Pattern) {
      at = End(at);
      continue;
    }
    const Entry entry = (n.Flags & kHardLinked) != 0 ? At(at) : Entry{};
    if ((n.Flags & kHardLinked) == 0 || seen.insert({entry.Device, entry.Inode}).second)
      disk = SaturatingAdd(disk, DiskOf(at));
    ++at;
  }
  return disk;
}

bool ImportedTree::List(Index node, char separator, const TreeVisitor& visit) const {
  std::string path = PathOf(node, separator);
  // The End of each open folder and the length of its path, from node down.
  std::vector<std::pair<Index, std::size_t>> open{{End(node), path.size()}};
  for (Index at = node + 1; at < open.front().first;) {
    const Node& n = m_nodes[at];
    while (at >= open.back().first)
      open.pop_back();
    if (ExclusionOf(n.Flags) == Exclusion::Pattern) {
      at = End(at);
      continue;
    }
    path.resize(open.back().second);
    if (!(path.size() == 1 && path[0] == separator)) path += separator;
    path.append(NameOf(at));
    const bool folder = CountsAsFolder(n.Flags);
    TreeEntry entry;
    entry.Path = path;
    entry.IsFolder = folder;
    entry.Size = folder ? -1 : SizeOf(at);
    entry.DiskSize = DiskOf(at);
    if (!visit(entry)) return false;
    if ((n.Flags & kFolder) != 0) open.push_back({End(at), path.size()});
    ++at;
  }
  return true;
}

}  // namespace quillet
