// quillet-report's command line: the options it takes, parsed into a request, and the one-line
// messages it ends with.
#pragma once

#include <optional>
#include <ostream>
#include <string>

#include "report/Report.h"

namespace quillet::report {

// Parses argv into options and the scan to import, if any; returns an exit status when the
// program should end now (after --help or --version, or a usage error, status 2, said on stderr).
std::optional<int> ParseArguments(int argc, char** argv, Request& options,
                                  std::optional<std::string>& importFrom, std::ostream& out);

// Says message on one line of stderr, names in it shown as the table shows them; returns status.
int Fail(int status, const std::string& message);

// Ends with status once everything written to out has left; an output that could not be
// written ends with its own status instead, whatever status was.
int Finish(std::ostream& out, int status);

}  // namespace quillet::report
