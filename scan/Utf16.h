// UTF-8 inside, UTF-16 at the Windows API boundary. Windows names are UTF-16 code units that need
// not pair up: a lone surrogate is a valid name there. Inside they are kept as generalised UTF-8
// (a lone surrogate written as the three bytes UTF-8 would use for its code point), so every name
// converts back to exactly the units it came from. Only what is shown to a person goes through
// ToDisplayText, which puts U+FFFD where a name holds no character.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quillet {

namespace utf {

inline constexpr char32_t kReplacement = 0xFFFD;

// One code point (a lone surrogate included) decoded from text at at; length 0 when the bytes
// there are no generalised UTF-8 (a stray byte, an overlong form, a value beyond U+10FFFF, or a
// surrogate pair written as two three-byte forms, which only CESU-8 does).
struct Decoded {
  char32_t CodePoint = 0;
  std::size_t Length = 0;
};

inline Decoded DecodeOne(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
  const std::size_t left = text.size() - at;
  const unsigned char lead = byte(0);
  if (lead < 0x80) return {lead, 1};
  std::size_t length = 0;
  char32_t value = 0;
  char32_t minimum = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, value = lead & 0x1Fu, minimum = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, value = lead & 0x0Fu, minimum = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, value = lead & 0x07u, minimum = 0x10000;
  } else {
    return {};
  }
  if (left < length) return {};
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0u) != 0x80) return {};
    value = (value << 6) | (byte(i) & 0x3Fu);
  }
  if (value < minimum || value > 0x10FFFF) return {};
  return {value, length};
}

inline Decoded DecodeAt(std::string_view text, std::size_t at) {
  const Decoded decoded = DecodeOne(text, at);
  // A high surrogate followed by a low one would be CESU-8: the pair has its own four-byte form.
  if (decoded.CodePoint >= 0xD800 && decoded.CodePoint <= 0xDBFF && decoded.Length == 3 &&
      at + 3 < text.size()) {
    const Decoded next = DecodeOne(text, at + 3);
    if (next.Length == 3 && next.CodePoint >= 0xDC00 && next.CodePoint <= 0xDFFF) return {};
  }
  return decoded;
}

inline void AppendUtf8(std::string& into, char32_t value) {
  if (value < 0x80) {
    into += static_cast<char>(value);
  } else if (value < 0x800) {
    into += static_cast<char>(0xC0 | (value >> 6));
    into += static_cast<char>(0x80 | (value & 0x3F));
  } else if (value < 0x10000) {
    into += static_cast<char>(0xE0 | (value >> 12));
    into += static_cast<char>(0x80 | ((value >> 6) & 0x3F));
    into += static_cast<char>(0x80 | (value & 0x3F));
  } else {
    into += static_cast<char>(0xF0 | (value >> 18));
    into += static_cast<char>(0x80 | ((value >> 12) & 0x3F));
    into += static_cast<char>(0x80 | ((value >> 6) & 0x3F));
    into += static_cast<char>(0x80 | (value & 0x3F));
  }
}

}  // namespace utf

// The UTF-16 units of generalised UTF-8 text: exact for every text ToUtf8 made. A byte that
// belongs to no form becomes U+FFFD (such text never came from UTF-16).
template <typename Char16>
std::basic_string<Char16> ToUtf16(std::string_view text) {
  static_assert(sizeof(Char16) == 2, "UTF-16 needs a 16-bit unit");
  std::basic_string<Char16> wide;
  wide.reserve(text.size());
  for (std::size_t at = 0; at < text.size();) {
    utf::Decoded decoded = utf::DecodeAt(text, at);
    if (decoded.Length == 0) decoded = {utf::kReplacement, 1};
    at += decoded.Length;
    const char32_t value = decoded.CodePoint;
    if (value >= 0x10000) {
      wide += static_cast<Char16>(0xD800 + ((value - 0x10000) >> 10));
      wide += static_cast<Char16>(0xDC00 + ((value - 0x10000) & 0x3FF));
    } else {
      wide += static_cast<Char16>(value);
    }
  }
  return wide;
}

// Generalised UTF-8 of any UTF-16 units: pairs as one code point, a lone surrogate as itself.
template <typename Char16>
std::string ToUtf8(std::basic_string_view<Char16> wide) {
  static_assert(sizeof(Char16) == 2, "UTF-16 needs a 16-bit unit");
  std::string text;
  text.reserve(wide.size() * 3);
  for (std::size_t i = 0; i < wide.size(); ++i) {
    char32_t value = static_cast<std::uint16_t>(wide[i]);
    if (value >= 0xD800 && value <= 0xDBFF && i + 1 < wide.size()) {
      const char32_t low = static_cast<std::uint16_t>(wide[i + 1]);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        value = 0x10000 + ((value - 0xD800) << 10) + (low - 0xDC00);
        ++i;
      }
    }
    utf::AppendUtf8(text, value);
  }
  return text;
}

template <typename Char16>
std::string ToUtf8(const Char16* wide) {
  return ToUtf8(std::basic_string_view<Char16>(wide));
}

// Text to show a person: valid UTF-8, with U+FFFD for each lone surrogate and each stray byte.
inline std::string ToDisplayText(std::string_view text) {
  std::string shown;
  shown.reserve(text.size());
  for (std::size_t at = 0; at < text.size();) {
    const utf::Decoded decoded = utf::DecodeAt(text, at);
    const bool surrogate = decoded.CodePoint >= 0xD800 && decoded.CodePoint <= 0xDFFF;
    if (decoded.Length == 0 || surrogate) {
      utf::AppendUtf8(shown, utf::kReplacement);
      at += decoded.Length == 0 ? 1 : decoded.Length;
    } else {
      shown.append(text.substr(at, decoded.Length));
      at += decoded.Length;
    }
  }
  return shown;
}

}  // namespace quillet
