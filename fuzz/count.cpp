// Counts as text: every signed 64-bit value survives CountText and ParseCount, and the parse of
// any bytes agrees with a reader written here from the rules in scan/Text.h.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "scan/Text.h"

namespace {

struct Reading {
  std::int64_t Value = 0;
  bool Failed = false;
};

// Blanks, one optional sign, then "$", "0x" or "0X" for hexadecimal, then at least one digit up to
// the end. The value is built with its sign from the first digit on, so the range check is the
// compiler's own overflow test rather than a bound on the magnitude.
Reading ReadInteger(std::string_view text) {
  Reading reading;
  std::size_t at = text.find_first_not_of(' ');
  if (at == std::string_view::npos) at = text.size();
  int sign = 1;
  if (at < text.size() && (text[at] == '-' || text[at] == '+')) sign = text[at++] == '-' ? -1 : 1;
  int base = 10;
  if (text.substr(at, 1) == "$") {
    base = 16;
    at += 1;
  } else if (text.substr(at, 2) == "0x" || text.substr(at, 2) == "0X") {
    base = 16;
    at += 2;
  }
  static constexpr std::string_view kDigits = "0123456789abcdef";
  reading.Failed = at == text.size();
  for (; at < text.size(); ++at) {
    char lower = text[at];
    if (lower >= 'A' && lower <= 'F') lower = static_cast<char>(lower - 'A' + 'a');
    const std::size_t digit = kDigits.substr(0, static_cast<std::size_t>(base)).find(lower);
    std::int64_t next = 0;
    if (digit == std::string_view::npos || __builtin_mul_overflow(reading.Value, base, &next) ||
        __builtin_add_overflow(next, sign * static_cast<std::int64_t>(digit), &next)) {
      reading.Failed = true;
      break;
    }
    reading.Value = next;
  }
  return reading;
}

// The grouping a count must have: to_string's digits with a comma before every three from the
// right.
std::string Grouped(std::int64_t value) {
  std::string digits = std::to_string(value);
  const std::size_t first = value < 0 ? 1 : 0;
  for (std::size_t at = digits.size(); at > first + 3; at -= 3)
    digits.insert(at - 3, 1, ',');
  return digits;
}

void Check(bool condition) {
  if (!condition) std::abort();
}

void CheckParse(std::string_view text) {
  std::string withoutCommas;
  for (const char c : text) {
    if (c != ',') withoutCommas += c;
  }
  const Reading expected = ReadInteger(withoutCommas);
  const quillet::ParsedCount count = quillet::ParseCount(text);
  Check(count.Failed == expected.Failed && count.Value == expected.Value);
  const Reading plain = ReadInteger(text);
  const quillet::ParsedCount integer = quillet::ParseInteger(text);
  Check(integer.Failed == plain.Failed && integer.Value == plain.Value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  CheckParse(text);
  // The first eight bytes, and every shorter prefix, as counts: small values are common too.
  for (std::size_t length = 1; length <= 8 && length <= size; ++length) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, data, length);
    const auto value = static_cast<std::int64_t>(bits);
    for (const std::int64_t v : {value, static_cast<std::int64_t>(bits >> 1) * -1 - 1}) {
      const std::string shown = quillet::CountText(v);
      Check(shown == Grouped(v));
      const quillet::ParsedCount back = quillet::ParseCount(shown);
      Check(!back.Failed && back.Value == v);
      CheckParse(shown);
    }
  }
  return 0;
}
