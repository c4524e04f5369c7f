// The parts of the Windows shell services that tests reach without the running program's own
// file: the second instance's command line, and starting a given program on a folder.
#pragma once

#include <string>
#include <vector>

namespace quillet::shell {

// The command line that starts program with options (UTF-8), then folder (UTF-8): each in double
// quotes, so blanks in any survive the program's splitter, which has no escape character
// ("E:\" stays whole). An option holding a double quote, which the splitter cannot carry, is
// left out.
std::wstring InstanceCommandLine(const std::wstring& program, const std::string& folder,
                                 const std::vector<std::string>& options = {});

// Starts program on options and folder with that command line, shown normally, and lets it run on
// its own. True when the process was created.
bool StartProgramOn(const std::wstring& program, const std::string& folder,
                    const std::vector<std::string>& options = {});

}  // namespace quillet::shell
