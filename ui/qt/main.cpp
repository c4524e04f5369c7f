// Program start: the application object, its title, the main window, the message loop.
#include <optional>
#include <string>
#include <vector>

#include "lists/CommandLine.h"
#include "ui/qt/Application.h"
#include "ui/qt/Main.h"

int main(int argc, char** argv) {
  quillet::Application application(argc, argv);
  // argv as the system gave it (Qt has taken its own options out): a path's bytes stay as they are.
  std::vector<std::string> arguments;
  for (int i = 1; i < argc && argv[i] != nullptr; ++i)
    arguments.emplace_back(argv[i]);
  const quillet::ProgramArguments parsed = quillet::ParseProgramArguments(arguments);
  quillet::TFMain window(parsed.Folder);
  if (parsed.Import) window.ImportScan(*parsed.Import);
  window.show();
  return application.exec();
}
