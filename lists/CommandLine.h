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

}  // namespace quillet
