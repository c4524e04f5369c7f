// The Windows command-line split: it reads only the bytes it is given (the input sits in a buffer
// of exactly its size, so AddressSanitizer sees any read past it), returns non-empty arguments
// without NUL, and the arguments it returns, quoted by its own rules and joined, split back to
// themselves.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "lists/CommandLine.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

bool IsSeparator(char c) {
  return static_cast<unsigned char>(c) >= 0x01 && static_cast<unsigned char>(c) <= 0x20;
}

// Three ways to write an argument that the rules read back the same: quoted only where it holds
// a separator, quoted whole, and as two quoted stretches that meet in the middle ("ab""cd").
// A double quote inside an argument cannot be written at all: there is no escape.
std::string Quoted(const std::string& argument, int way) {
  switch (way) {
    case 0: {
      bool plain = true;
      for (const char c : argument)
        plain = plain && !IsSeparator(c);
      return plain ? argument : "\"" + argument + "\"";
    }
    case 1:
      return "\"" + argument + "\"";
    default: {
      const std::size_t half = argument.size() / 2;
      return "\"" + argument.substr(0, half) + "\"\"" + argument.substr(half) + "\"";
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view line(reinterpret_cast<const char*>(data), size);
  const std::vector<std::string> arguments = quillet::SplitCommandLine(line);
  for (const std::string& argument : arguments)
    Check(!argument.empty() && argument.find('\0') == std::string::npos);
  const auto first = quillet::FirstArgument(line);
  Check(first.has_value() == (arguments.size() >= 2));
  if (first) Check(*first == arguments[1]);

  std::vector<std::string> writable;
  for (const std::string& argument : arguments) {
    if (argument.find('"') == std::string::npos) writable.push_back(argument);
  }
  static constexpr std::string_view kGaps[] = {" ", "\t", " \x01\x20\n "};
  for (int way = 0; way < 3; ++way) {
    std::string joined;
    for (std::size_t i = 0; i < writable.size(); ++i) {
      if (i > 0) joined += kGaps[(i + static_cast<std::size_t>(way)) % 3];
      joined += Quoted(writable[i], way);
    }
    Check(quillet::SplitCommandLine(joined) == writable);
  }
  return 0;
}
