// The report's CSV and JSON: whatever bytes a folder's name holds, a strict reader (RFC 4180 for
// CSV, RFC 8259 for JSON, both written here) reads the report back to the same names; in CSV a
// name that would start a spreadsheet formula comes back behind a ', and in JSON each byte that
// is not part of a UTF-8 sequence reads back as U+FFFD.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/Utf8Reference.h"
#include "lists/Lists.h"
#include "report/Output.h"
#include "tests/lists/TestFrontend.h"

namespace {

void Check(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "fails: %s\n", what);
  std::abort();
}

// Length of the well-formed UTF-8 sequence at text[at] by the table of the Unicode standard
// (ranges of each byte after the first), or 0.
std::size_t WellFormed(std::string_view text, std::size_t at) {
  struct Form {
    unsigned char FirstLow, FirstHigh, SecondLow, SecondHigh;
    std::size_t Length;
  };
  static constexpr Form kForms[] = {
      {0x00, 0x7F, 0, 0, 1},       {0xC2, 0xDF, 0x80, 0xBF, 2}, {0xE0, 0xE0, 0xA0, 0xBF, 3},
      {0xE1, 0xEC, 0x80, 0xBF, 3}, {0xED, 0xED, 0x80, 0x9F, 3}, {0xEE, 0xEF, 0x80, 0xBF, 3},
      {0xF0, 0xF0, 0x90, 0xBF, 4}, {0xF1, 0xF3, 0x80, 0xBF, 4}, {0xF4, 0xF4, 0x80, 0x8F, 4},
  };
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
  for (const Form& form : kForms) {
    if (byte(0) < form.FirstLow || byte(0) > form.FirstHigh) continue;
    if (text.size() - at < form.Length) return 0;
    if (form.Length > 1 && (byte(1) < form.SecondLow || byte(1) > form.SecondHigh)) return 0;
    for (std::size_t i = 2; i < form.Length; ++i) {
      if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
    }
    return form.Length;
  }
  return 0;
}

std::string AsUtf8(std::uint32_t c) {
  std::string out;
  quillet::fuzz::AppendUtf8(out, c);
  return out;
}

// What a JSON reader must see for a name.
std::string WithReplacements(std::string_view name) {
  std::string out;
  for (std::size_t at = 0; at < name.size();) {
    const std::size_t length = WellFormed(name, at);
    out += length ? std::string(name.substr(at, length)) : AsUtf8(0xFFFD);
    at += length ? length : 1;
  }
  return out;
}

// --- A strict JSON reader ---------------------------------------------------------------------

struct Json {
  enum Kind { Null, Bool, Number, String, Array, Object } Type = Null;
  std::string Text;               // a string's value, a number's or a literal's spelling
  std::vector<std::string> Keys;  // an object's member names, in order
  std::vector<Json> Items;        // an array's elements or an object's values

  const Json* Member(std::string_view key) const {
    for (std::size_t i = 0; i < Keys.size(); ++i) {
      if (Keys[i] == key) return &Items[i];
    }
    return nullptr;
  }
};

class JsonReader {
 public:
  explicit JsonReader(std::string_view text) : m_text(text) {}

  // The one value the whole text holds, or nothing when it is not strict JSON.
  std::optional<Json> Document() {
    for (std::size_t at = 0; at < m_text.size();) {
      const std::size_t length = WellFormed(m_text, at);
      if (length == 0) return std::nullopt;
      at += length;
    }
    Json value;
    if (!Value(value, 0)) return std::nullopt;
    Blanks();
    if (m_at != m_text.size()) return std::nullopt;
    return value;
  }

 private:
  void Blanks() {
    while (m_at < m_text.size() &&
           std::string_view(" \t\n\r").find(m_text[m_at]) != std::string_view::npos)
      ++m_at;
  }
  bool Take(char c) {
    if (m_at >= m_text.size() || m_text[m_at] != c) return false;
    ++m_at;
    return true;
  }
  bool Digits(bool required) {
    const std::size_t start = m_at;
    while (m_at < m_text.size() && m_text[m_at] >= '0' && m_text[m_at] <= '9')
      ++m_at;
    return !required || m_at > start;
  }
  bool Hex4(std::uint32_t& value) {
    if (m_text.size() - m_at < 4) return false;
    value = 0;
    for (int i = 0; i < 4; ++i) {
      const char c = m_text[m_at++];
      const auto digit = std::string_view("0123456789abcdef0123456789ABCDEF").find(c);
      if (digit == std::string_view::npos) return false;
      value = value * 16 + static_cast<std::uint32_t>(digit % 16);
    }
    return true;
  }

  bool StringBody(std::string& out) {
    if (!Take('"')) return false;
    for (;;) {
      if (m_at >= m_text.size()) return false;
      const auto c = static_cast<unsigned char>(m_text[m_at++]);
      if (c == '"') return true;
      if (c < 0x20) return false;
      if (c != '\\') {
        out += static_cast<char>(c);
        continue;
      }
      if (m_at >= m_text.size()) return false;
      const char escape = m_text[m_at++];
      const std::string_view simple = "\"\\/bfnrt", meaning = "\"\\/\b\f\n\r\t";
      if (const auto k = simple.find(escape); k != std::string_view::npos) {
        out += meaning[k];
        continue;
      }
      if (escape != 'u') return false;
      std::uint32_t unit = 0;
      if (!Hex4(unit)) return false;
      if (unit >= 0xDC00 && unit <= 0xDFFF) return false;
      if (unit >= 0xD800 && unit <= 0xDBFF) {
        std::uint32_t low = 0;
        if (!Take('\\') || !Take('u') || !Hex4(low) || low < 0xDC00 || low > 0xDFFF) return false;
        unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
      }
      out += AsUtf8(unit);
    }
  }

  bool Value(Json& value, int depth) {
    if (depth > 16) return false;
    Blanks();
    if (m_at >= m_text.size()) return false;
    const char c = m_text[m_at];
    if (c == '"') {
      value.Type = Json::String;
      return StringBody(value.Text);
    }
    if (c == '{' || c == '[') {
      const bool object = c == '{';
      value.Type = object ? Json::Object : Json::Array;
      ++m_at;
      Blanks();
      if (Take(object ? '}' : ']')) return true;
      for (;;) {
        if (object) {
          Blanks();
          std::string key;
          if (!StringBody(key) || value.Member(key)) return false;  // duplicates are refused
          value.Keys.push_back(std::move(key));
          Blanks();
          if (!Take(':')) return false;
        }
        value.Items.emplace_back();
        if (!Value(value.Items.back(), depth + 1)) return false;
        Blanks();
        if (Take(object ? '}' : ']')) return true;
        if (!Take(',')) return false;
      }
    }
    for (const std::string_view literal : {"true", "false", "null"}) {
      if (m_text.substr(m_at, literal.size()) == literal) {
        value.Type = literal == "null" ? Json::Null : Json::Bool;
        value.Text = literal;
        m_at += literal.size();
        return true;
      }
    }
    // -?(0|[1-9][0-9]*)(.[0-9]+)?([eE][+-]?[0-9]+)?
    const std::size_t start = m_at;
    Take('-');
    if (Take('0')) {
    } else if (m_at < m_text.size() && m_text[m_at] >= '1' && m_text[m_at] <= '9') {
      Digits(false);
    } else {
      return false;
    }
    if (Take('.') && !Digits(true)) return false;
    if (Take('e') || Take('E')) {
      if (!Take('+')) Take('-');
      if (!Digits(true)) return false;
    }
    value.Type = Json::Number;
    value.Text = m_text.substr(start, m_at - start);
    return true;
  }

  std::string_view m_text;
  std::size_t m_at = 0;
};

// --- A strict CSV reader ------------------------------------------------------------------------

// Records of RFC 4180: fields separated by commas, records by CRLF (the last one may end the
// text), a quoted field doubling its quotes. A quote inside an unquoted field, a lone CR or LF
// outside quotes, or anything but a comma or a line end after a closing quote is an error. Any
// other byte counts as text, since names are not only printable ASCII.
std::optional<std::vector<std::vector<std::string>>> ReadCsv(std::string_view text) {
  std::vector<std::vector<std::string>> records;
  std::size_t at = 0;
  while (at < text.size()) {
    std::vector<std::string> record;
    for (;;) {
      std::string field;
      if (at < text.size() && text[at] == '"') {
        ++at;
        for (;;) {
          if (at >= text.size()) return std::nullopt;
          if (text[at] == '"') {
            if (at + 1 < text.size() && text[at + 1] == '"') {
              field += '"';
              at += 2;
              continue;
            }
            ++at;
            break;
          }
          field += text[at++];
        }
      } else {
        while (at < text.size() &&
               std::string_view(",\"\r\n").find(text[at]) == std::string_view::npos)
          field += text[at++];
      }
      record.push_back(std::move(field));
      if (at < text.size() && text[at] == ',') {
        ++at;
        continue;
      }
      if (at == text.size()) break;
      if (text.substr(at, 2) != "\r\n") return std::nullopt;
      at += 2;
      break;
    }
    records.push_back(std::move(record));
  }
  return records;
}

// Whether a CSV field read back is name as a spreadsheet is to show it: the name itself, or,
// where the name would start a formula, the name behind a '.
bool AsSpreadsheetText(std::string_view field, std::string_view name) {
  const bool formula =
      !name.empty() && std::string_view("=+-@\t\r").find(name[0]) != std::string_view::npos;
  return formula ? field.size() == name.size() + 1 && field[0] == '\'' && field.substr(1) == name
                 : field == name;
}

// --- The report
// -----------------------------------------------------------------------------------

std::string Report(const quillet::ListsModel& model, const quillet::report::Selection& selection,
                   quillet::report::Format format) {
  std::ostringstream out;
  quillet::report::WriteReport(out, model, selection, format);
  return out.str();
}

void CheckJsonString(std::string_view name) {
  const auto read = JsonReader(quillet::report::JsonString(name)).Document();
  Check(read && read->Type == Json::String && read->Text == WithReplacements(name),
        "a JSON string reads back");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  quillet::test::TestFrontend frontend;
  quillet::ListsModel model(frontend);
  const int rows = input.ConsumeIntegralInRange(1, 3);
  for (int i = 0; i < rows; ++i) {
    const std::string location =
        i + 1 < rows ? input.ConsumeRandomLengthString(32) : input.ConsumeRemainingBytesAsString();
    model.AddResultList(location);
    CheckJsonString(location);
  }
  model.SelectAll(quillet::ListKind::Result, true);
  quillet::report::Selection selection;
  for (int i = 0; i < rows; ++i)
    selection.Rows.push_back(static_cast<std::size_t>(i));
  selection.Totals = model.SelectedTotals();

  const std::string csvText = Report(model, selection, quillet::report::Format::Csv);
  Check(csvText.starts_with("\xEF\xBB\xBF"), "CSV begins with the UTF-8 byte-order mark");
  const auto csv = ReadCsv(std::string_view(csvText).substr(3));
  Check(csv && csv->size() == static_cast<std::size_t>(rows) + 1, "CSV has a line per row");
  for (int i = 0; i < rows; ++i) {
    const quillet::ResultRow& row = model.ResultRowAt(static_cast<std::size_t>(i));
    const std::vector<std::string>& record = (*csv)[static_cast<std::size_t>(i) + 1];
    Check(record.size() == (*csv)[0].size() && AsSpreadsheetText(record[0], row.Caption) &&
              AsSpreadsheetText(record[1], row.Location),
          "CSV reads back the names, none of them a formula");
  }

  const auto json = JsonReader(Report(model, selection, quillet::report::Format::Json)).Document();
  Check(json && json->Type == Json::Object, "JSON is one object");
  const Json* lines = json->Member("rows");
  Check(
      lines && lines->Type == Json::Array && lines->Items.size() == static_cast<std::size_t>(rows),
      "JSON has a row per row");
  for (int i = 0; i < rows; ++i) {
    const quillet::ResultRow& row = model.ResultRowAt(static_cast<std::size_t>(i));
    const Json& line = lines->Items[static_cast<std::size_t>(i)];
    const Json* name = line.Member("name");
    const Json* location = line.Member("location");
    Check(name && name->Type == Json::String && name->Text == WithReplacements(row.Caption),
          "JSON reads back the name");
    Check(location && location->Type == Json::String &&
              location->Text == WithReplacements(row.Location),
          "JSON reads back the location");
    const Json* measured = line.Member("size");
    Check(measured && measured->Type == Json::Null, "an unmeasured size is null");
  }
  const Json* totals = json->Member("totals");
  const Json* lists = totals ? totals->Member("lists") : nullptr;
  Check(lists && lists->Type == Json::Number && lists->Text == std::to_string(rows),
        "JSON totals count the rows");
  return 0;
}
