// The command-line split of the Windows program, kept pure so it is tested everywhere.
#include "lists/CommandLine.h"

namespace quillet {

namespace {

bool IsArgumentSeparator(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte >= 0x01 && byte <= 0x20;
}

// Reads the argument at position, or an empty one at the end of the line.
std::string NextArgument(std::string_view line, std::size_t& position) {
  for (;;) {
    while (position < line.size() && IsArgumentSeparator(line[position]))
      ++position;
    if (line.substr(position, 2) != "\"\"") break;
    position += 2;
  }
  std::string argument;
  bool quoted = false;
  while (position < line.size()) {
    const char c = line[position];
    if (c == '\0') break;  // a narrow command line ends at its terminator
    if (!quoted && IsArgumentSeparator(c)) break;
    ++position;
    if (c == '"') {
      quoted = !quoted;
      continue;
    }
    argument += c;
  }
  if (position < line.size() && line[position] == '\0') position = line.size();
  return argument;
}

}  // namespace

std::vector<std::string> SplitCommandLine(std::string_view commandLine) {
  std::vector<std::string> arguments;
  std::size_t position = 0;
  for (;;) {
    std::string argument = NextArgument(commandLine, position);
    if (argument.empty()) break;
    arguments.push_back(std::move(argument));
  }
  return arguments;
}

std::optional<std::string> FirstArgument(std::string_view commandLine) {
  auto arguments = SplitCommandLine(commandLine);
  if (arguments.size() < 2) return std::nullopt;
  return std::move(arguments[1]);
}

ProgramArguments ParseProgramArguments(const std::vector<std::string>& arguments) {
  ProgramArguments parsed;
  std::size_t at = 0;
  for (; at < arguments.size(); ++at) {
    const std::string& argument = arguments[at];
    if (argument == "--") {
      ++at;
      break;
    }
    if (argument == "--import" && at + 1 < arguments.size()) {
      parsed.Import = arguments[++at];
    } else if (argument.starts_with("--import=")) {
      parsed.Import = argument.substr(9);
    } else {
      break;
    }
  }
  // The arguments end at the first empty one, as the program's first argument always did.
  if (at < arguments.size() && !arguments[at].empty()) parsed.Folder = arguments[at];
  return parsed;
}

}  // namespace quillet
