// What the POSIX shell services use that a test may call directly.
#pragma once

#include <string>
#include <vector>

namespace quillet::shell {

// Starts program (looked up in PATH when it has no slash) with the given arguments, detached,
// without a shell in between. True when it could be started; a program that cannot be executed
// is not seen here.
bool StartProgram(const std::string& program, const std::vector<std::string>& arguments);

// This program's own file, from /proc/self/exe; empty when it cannot be read.
std::string ProgramPath();

}  // namespace quillet::shell
