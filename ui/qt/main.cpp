// Program start: the application object, its title, the main window, the message loop.
#include <string>
#include <vector>

#include "lists/CommandLine.h"
#include "ui/qt/Application.h"
#include "ui/qt/Main.h"

int main(int argc, char** argv) {
  quillet::Application application(argc, argv);
  // Options (-x, --exclude), then the folder whose subfolders fill the result list. argv as the
  // system gave it (Qt has taken its own options out): a path's bytes stay as they are.
  const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  const quillet::ProgramArguments parsed = quillet::ParseProgramArguments(arguments);
  quillet::TFMain window(parsed.Folder);
  window.Model().SetWalkOptions(parsed.Walk);
  if (parsed.Import) window.ImportScan(*parsed.Import);
  window.show();
  return application.exec();
}
