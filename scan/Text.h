// Text and count routines: path names, grouped counts and the sort comparison of the lists.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "scan/Saturate.h"

namespace quillet {

#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// The last name of a path: one trailing separator is dropped first, then everything after the
// last separator ('C:\Data\Photos\' gives 'Photos', 'C:\' gives 'C:').
std::string ExtractLastName(std::string_view path, char separator = kPathSeparator);

// A folder about to be searched: ends with exactly the separator it had, or one appended.
std::string WithTrailingSeparator(std::string_view folder, char separator = kPathSeparator);

// A folder that becomes a row: one trailing separator removed ('C:\' becomes 'C:'). The POSIX
// root "/" is kept as it is, since an empty location would name the current folder instead.
std::string WithoutTrailingSeparator(std::string_view folder, char separator = kPathSeparator);

// Source with every non-overlapping occurrence of find replaced; an empty find never matches.
std::string ReplaceAll(std::string_view source, std::string_view find,
                       std::string_view replacement);

// A signed 64-bit count as grouped decimal text, "#,##0" with a comma, over the whole range.
std::string CountText(std::int64_t value);
// The same text written into buffer, for callers that write many counts without a string each.
std::string_view CountTextIn(std::int64_t value, std::array<char, 32>& buffer);

struct ParsedCount {
  std::int64_t Value = 0;  // the digits read before any failure, with the sign applied
  bool Failed = false;
};

// The integer parse: blanks, an optional sign, then digits (or "$"/"0x" hexadecimal digits)
// that run to the end; fails on anything else or on leaving the signed 64-bit range.
ParsedCount ParseInteger(std::string_view text);

// ParseInteger after every comma is removed: the exact inverse of CountText.
ParsedCount ParseCount(std::string_view text);

// Byte comparison folding only ASCII a-z to upper case; ties go to the shorter text.
// Negative, zero or positive.
int CompareText(std::string_view a, std::string_view b);

// True when name matches the shell glob pattern as fnmatch(pattern, name, 0) matches it: '*' any
// run of bytes, '?' one byte, "[...]" one of a set ("[!...]" or "[^...]" none of it, "a-z"
// ranges), '\\' takes the next byte as it stands. A '[' without its ']' is a byte of its own.
bool GlobMatch(std::string_view pattern, std::string_view name);

}  // namespace quillet
