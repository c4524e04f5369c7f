// Text and count routines: byte-wise, so they behave the same for every encoding of a path.
#include "scan/Text.h"

#include <limits>

namespace quillet {

std::string ExtractLastName(std::string_view path, char separator) {
  if (!path.empty() && path.back() == separator) path.remove_suffix(1);
  const auto at = path.rfind(separator);
  if (at == std::string_view::npos) return std::string(path);
  return std::string(path.substr(at + 1));
}

std::string WithTrailingSeparator(std::string_view folder, char separator) {
  std::string result(folder);
  if (result.empty() || result.back() != separator) result += separator;
  return result;
}

std::string WithoutTrailingSeparator(std::string_view folder, char separator) {
  const bool posixRoot = separator == '/' && folder.size() == 1 && folder[0] == '/';
  if (!posixRoot && !folder.empty() && folder.back() == separator) folder.remove_suffix(1);
  return std::string(folder);
}

std::string ReplaceAll(std::string_view source, std::string_view find,
                       std::string_view replacement) {
  if (find.empty()) return std::string(source);
  std::string result;
  result.reserve(source.size());
  std::size_t from = 0;
  for (auto at = source.find(find); at != std::string_view::npos; at = source.find(find, from)) {
    result.append(source.substr(from, at - from));
    result.append(replacement);
    from = at + find.size();
  }
  result.append(source.substr(from));
  return result;
}

std::string_view CountTextIn(std::int64_t value, std::array<char, 32>& buffer) {
  // The magnitude as unsigned, so the most negative value has one too.
  std::uint64_t magnitude = value < 0 ? std::uint64_t{0} - static_cast<std::uint64_t>(value)
                                      : static_cast<std::uint64_t>(value);
  char* const end = buffer.data() + buffer.size();
  char* at = end;
  int digits = 0;
  do {
    if (digits > 0 && digits % 3 == 0) *--at = ',';
    *--at = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
    ++digits;
  } while (magnitude != 0);
  if (value < 0) *--at = '-';
  return {at, static_cast<std::size_t>(end - at)};
}

std::string CountText(std::int64_t value) {
  std::array<char, 32> buffer;
  return std::string(CountTextIn(value, buffer));
}

namespace {

int DigitValue(char c, unsigned base) {
  int v = -1;
  if (c >= '0' && c <= '9')
    v = c - '0';
  else if (base == 16 && c >= 'a' && c <= 'f')
    v = c - 'a' + 10;
  else if (base == 16 && c >= 'A' && c <= 'F')
    v = c - 'A' + 10;
  return v;
}

}  // namespace

ParsedCount ParseInteger(std::string_view text) {
  std::size_t at = 0;
  while (at < text.size() && text[at] == ' ')
    ++at;
  bool negative = false;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
    negative = text[at] == '-';
    ++at;
  }
  unsigned base = 10;
  if (at < text.size() && text[at] == '$') {
    base = 16;
    ++at;
  } else if (at + 1 < text.size() && text[at] == '0' &&
             (text[at + 1] == 'x' || text[at + 1] == 'X')) {
    base = 16;
    at += 2;
  }
  // The magnitude may reach 2^63 only when the sign makes it the most negative value.
  const std::uint64_t limit =
      static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) + (negative ? 1 : 0);
  std::uint64_t magnitude = 0;
  bool failed = at == text.size();
  for (; at < text.size(); ++at) {
    const int digit = DigitValue(text[at], base);
    if (digit < 0 || magnitude > (limit - static_cast<unsigned>(digit)) / base) {
      failed = true;
      break;
    }
    magnitude = magnitude * base + static_cast<unsigned>(digit);
  }
  ParsedCount result;
  result.Failed = failed;
  result.Value = negative ? static_cast<std::int64_t>(std::uint64_t{0} - magnitude)
                          : static_cast<std::int64_t>(magnitude);
  return result;
}

ParsedCount ParseCount(std::string_view text) {
  return ParseInteger(ReplaceAll(text, ",", ""));
}

int CompareText(std::string_view a, std::string_view b) {
  const std::size_t common = a.size() < b.size() ? a.size() : b.size();
  for (std::size_t i = 0; i < common; ++i) {
    int x = static_cast<unsigned char>(a[i]);
    int y = static_cast<unsigned char>(b[i]);
    if (x >= 'a' && x <= 'z') x -= 'a' - 'A';
    if (y >= 'a' && y <= 'z') y -= 'a' - 'A';
    if (x != y) return x - y;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

namespace {

// Matches the bracket expression at pattern[at] (its '[' included) against c. Returns the
// length of the expression, 0 when it has no closing ']' (the '[' is then an ordinary byte).
std::size_t MatchSet(std::string_view pattern, std::size_t at, char c, bool& matched) {
  std::size_t i = at + 1;
  const bool negated = i < pattern.size() && (pattern[i] == '!' || pattern[i] == '^');
  if (negated) ++i;
  bool found = false;
  bool first = true;
  while (i < pattern.size() && (first || pattern[i] != ']')) {
    first = false;
    char low = pattern[i];
    if (low == '\\' && i + 1 < pattern.size()) low = pattern[++i];
    ++i;
    char high = low;
    if (i + 1 < pattern.size() && pattern[i] == '-' && pattern[i + 1] != ']') {
      high = pattern[i + 1];
      if (high == '\\' && i + 2 < pattern.size()) high = pattern[++i + 1];
      i += 2;
    }
    const auto u = static_cast<unsigned char>(c);
    if (static_cast<unsigned char>(low) <= u && u <= static_cast<unsigned char>(high)) found = true;
  }
  if (i >= pattern.size()) return 0;
  matched = found != negated;
  return i + 1 - at;
}

}  // namespace

bool GlobMatch(std::string_view pattern, std::string_view name) {
  // The last '*' and where its run began in name: a failed match retries with the run one longer.
  std::size_t p = 0, n = 0;
  std::size_t starAt = std::string_view::npos, starName = 0;
  while (n < name.size()) {
    if (p < pattern.size()) {
      const char c = pattern[p];
      if (c == '*') {
        starAt = ++p;
        starName = n;
        continue;
      }
      bool matched = false;
      std::size_t length = 1;
      if (c == '?') {
        matched = true;
      } else if (c == '[' && (length = MatchSet(pattern, p, name[n], matched)) != 0) {
      } else if (c == '\\' && p + 1 < pattern.size()) {
        matched = pattern[p + 1] == name[n];
        length = 2;
      } else {
        matched = c == name[n];
        length = 1;
      }
      if (matched) {
        p += length;
        ++n;
        continue;
      }
    }
    if (starAt == std::string_view::npos) return false;
    p = starAt;
    n = ++starName;
  }
  while (p < pattern.size() && pattern[p] == '*')
    ++p;
  return p == pattern.size();
}

}  // namespace quillet
