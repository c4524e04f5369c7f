// Splitting a command line read as one string, for a platform whose programs get it unsplit.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillet {

// The arguments of commandLine, argument 0 (the program) first, up to the first empty one.
// Runs of bytes 0x01 to 0x20 separate arguments; a double quote opens a stretch running to the
// next one (or the end) in which separators belong to the argument, and both quotes are
// dropped; empty quote pairs at the start of an argument are skipped. No escape character.
std::vector<std::string> SplitCommandLine(std::string_view commandLine);

// The first argument after the program, if there is one.
std::optional<std::string> FirstArgument(std::string_view commandLine);

// What the windowed programs take from their arguments (the program's own name left out):
// options first, in their known spellings only, "--" ending them; then FOLDER, whose subfolders
// fill the result list. Anything else that begins with '-' is FOLDER, so every path works as the
// first argument; what follows FOLDER is not read.
struct ProgramArguments {
  std::optional<std::string> Folder;
  std::optional<std::string> Import;  // --import FILE: a saved scan whose top folders become rows
};
ProgramArguments ParseProgramArguments(const std::vector<std::string>& arguments);

}  // namespace quillet
