// The parts of the Windows shell services that tests reach without the running program's own
// file: the second instance's command line, and starting a given program on a folder.
#pragma once

#include <string>

namespace quillet::shell {

// The command line that starts program with folder (UTF-8) as its first argument: both in
// double quotes, so blanks in either survive the program's splitter, which has no escape
// character ("E:\" stays whole).
std::wstring InstanceCommandLine(const std::wstring& program, const std::string& folder);

// Starts program on folder with that command line, shown normally, and lets it run on its own.
// True when the process was created.
bool StartProgramOn(const std::wstring& program, const std::string& folder);

}  // namespace quillet::shell
