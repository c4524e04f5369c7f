// Splitting a command line read as one string, for a platform whose programs get it unsplit.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "scan/Engine.h"

namespace quillet {

// The arguments of commandLine, argument 0 (the program) first, up to the first empty one.
// Runs of bytes 0x01 to 0x20 separate arguments; a double quote opens a stretch running to the
// next one (or the end) in which separators belong to the argument, and both quotes are
// dropped; empty quote pairs at the start of an argument are skipped. No escape character.
std::vector<std::string> SplitCommandLine(std::string_view commandLine);

// The first argument after the program, if there is one.
std::optional<std::string> FirstArgument(std::string_view commandLine);

// A windowed program's arguments: options, then FOLDER.
struct ProgramArguments {
  WalkOptions Walk;
  std::optional<std::string> Folder;
  std::optional<std::string> Import;  // --import FILE: a saved scan whose top folders become rows
};

// Reads the arguments after the program. Options come first, in their known spellings only:
// -x, --one-file-system, --exclude PATTERN, --exclude=PATTERN, --import FILE, --import=FILE. The
// first argument that is none of them is FOLDER, whatever it begins with, and so is the one after
// "--"; what follows FOLDER is not read. An option with nothing after it is FOLDER too; an empty
// FOLDER is none.
ProgramArguments ParseProgramArguments(const std::vector<std::string>& arguments);

// The arguments that come before folder when the program is started again on it, so that the
// new one walks as this one does: -x and each --exclude=PATTERN in force, then "--" where there
// are options or folder begins with '-'. ParseProgramArguments reads them back with folder.
std::vector<std::string> OptionArguments(const WalkOptions& options, std::string_view folder);

}  // namespace quillet
