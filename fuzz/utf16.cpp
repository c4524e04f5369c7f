// UTF-8 and UTF-16 at the Windows boundary: any UTF-16 (lone surrogates included) goes to the
// generalised UTF-8 written here and back unchanged; any generalised UTF-8 goes to the UTF-16
// decoded here and back unchanged; any other bytes convert without harm and, once converted,
// stay as they are. The input is read both as bytes and as little-endian 16-bit units.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/Utf8Reference.h"
#include "scan/Utf16.h"

namespace {

using Wide = std::u16string;
using Unit = typename Wide::value_type;

void Check(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "fails: %s\n", what);
  std::abort();
}

using quillet::fuzz::AppendUtf8;

bool IsHigh(std::uint32_t u) {
  return u >= 0xD800 && u <= 0xDBFF;
}
bool IsLow(std::uint32_t u) {
  return u >= 0xDC00 && u <= 0xDFFF;
}

// Generalised UTF-8: a pair is one code point of four bytes, a lone surrogate three bytes of
// its own value.
std::string Generalised(const std::vector<std::uint32_t>& units) {
  std::string out;
  for (std::size_t i = 0; i < units.size(); ++i) {
    if (IsHigh(units[i]) && i + 1 < units.size() && IsLow(units[i + 1])) {
      AppendUtf8(out, 0x10000 + ((units[i] - 0xD800) << 10) + (units[i + 1] - 0xDC00));
      ++i;
    } else {
      AppendUtf8(out, units[i]);
    }
  }
  return out;
}

// The units of generalised UTF-8, or nothing when bytes is not that: shortest forms only, at
// most U+10FFFF, and no encoded high surrogate right before an encoded low one (the pair has
// its four-byte form).
bool DecodeGeneralised(std::string_view bytes, std::vector<std::uint32_t>& units) {
  bool lastWasLoneHigh = false;
  for (std::size_t at = 0; at < bytes.size();) {
    const auto lead = static_cast<unsigned char>(bytes[at]);
    std::size_t length = 0;
    std::uint32_t c = 0;
    if (lead < 0x80) {
      length = 1;
      c = lead;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
      c = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      c = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      c = lead & 0x07;
    } else {
      return false;
    }
    if (bytes.size() - at < length) return false;
    for (std::size_t i = 1; i < length; ++i) {
      const auto next = static_cast<unsigned char>(bytes[at + i]);
      if ((next & 0xC0) != 0x80) return false;
      c = (c << 6) | (next & 0x3F);
    }
    static constexpr std::uint32_t kShortest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < kShortest[length] || c > 0x10FFFF) return false;
    if (IsLow(c) && lastWasLoneHigh) return false;
    lastWasLoneHigh = IsHigh(c);
    if (c >= 0x10000) {
      units.push_back(0xD800 + ((c - 0x10000) >> 10));
      units.push_back(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      units.push_back(c);
    }
    at += length;
  }
  return true;
}

Wide AsWide(const std::vector<std::uint32_t>& units) {
  Wide wide;
  for (const std::uint32_t u : units)
    wide += static_cast<Unit>(u);
  return wide;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::uint32_t> units;
  for (std::size_t i = 0; i + 1 < size; i += 2)
    units.push_back(data[i] | (std::uint32_t{data[i + 1]} << 8));
  const Wide wide = AsWide(units);
  const std::string narrow = quillet::ToUtf8(std::u16string_view(wide));
  Check(narrow == Generalised(units), "UTF-16 to generalised UTF-8");
  Check(quillet::ToUtf16<char16_t>(narrow) == wide, "UTF-16 there and back");

  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const Wide converted = quillet::ToUtf16<char16_t>(bytes);
  std::vector<std::uint32_t> decoded;
  if (DecodeGeneralised(bytes, decoded)) {
    Check(converted == AsWide(decoded), "generalised UTF-8 to UTF-16");
    Check(quillet::ToUtf8(std::u16string_view(converted)) == bytes,
          "generalised UTF-8 there and back");
  } else {
    Check(quillet::ToUtf16<char16_t>(quillet::ToUtf8(std::u16string_view(converted))) == converted,
          "converted bytes convert back to themselves");
  }
  return 0;
}
