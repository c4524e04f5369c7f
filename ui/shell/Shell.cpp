#include "ui/shell/Shell.h"

namespace quillet::shell {

std::string MakeShellPathList(const std::vector<std::string>& paths) {
  std::string list;
  for (const auto& path : paths) {
    list += path;
    list += '\0';
  }
  list += '\0';
  return list;
}

}  // namespace quillet::shell
