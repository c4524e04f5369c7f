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

ProgramArguments ParseProgramArguments(const std::vector<std::string>& arguments) {
  ProgramArguments parsed;
  constexpr std::string_view kExcludeIs = "--exclude=";
  constexpr std::string_view kImportIs = "--import=";
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (argument == "-x" || argument == "--one-file-system") {
      parsed.Walk.OneFileSystem = true;
    } else if (argument == "--exclude" && i + 1 < arguments.size()) {
      parsed.Walk.Excludes.push_back(arguments[++i]);
    } else if (argument.starts_with(kExcludeIs)) {
      parsed.Walk.Excludes.push_back(argument.substr(kExcludeIs.size()));
    } else if (argument == "--import" && i + 1 < arguments.size()) {
      parsed.Import = arguments[++i];
    } else if (argument.starts_with(kImportIs)) {
      parsed.Import = argument.substr(kImportIs.size());
    } else {
      if (argument == "--") ++i;
      if (i < arguments.size() && !arguments[i].empty()) parsed.Folder = arguments[i];
      break;
    }
  }
  return parsed;
}

std::vector<std::string> OptionArguments(const WalkOptions& options, std::string_view folder) {
  std::vector<std::string> arguments;
  if (options.OneFileSystem) arguments.emplace_back("-x");
  for (const std::string& pattern : options.Excludes)
    arguments.push_back("--exclude=" + pattern);
  if (!arguments.empty() || folder.starts_with('-')) arguments.emplace_back("--");
  return arguments;
}

std::optional<std::string> FirstArgument(std::string_view commandLine) {
  auto arguments = SplitCommandLine(commandLine);
  if (arguments.size() < 2) return std::nullopt;
  return std::move(arguments[1]);
}

}  // namespace quillet
