// Program start: the application object, its title, the main window, the message loop.
#include <windows.h>

#include <string>
#include <vector>

#include "lists/CommandLine.h"
#include "scan/Utf16.h"
#include "ui/win32/Application.h"
#include "ui/win32/Main.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int show) {
  quillet::Application.Initialize();
  // The command line as one string, split by the program's own rules.
  std::vector<std::string> arguments =
      quillet::SplitCommandLine(quillet::ToUtf8(std::wstring_view(::GetCommandLineW())));
  if (!arguments.empty()) arguments.erase(arguments.begin());
  const quillet::ProgramArguments parsed = quillet::ParseProgramArguments(arguments);
  int status = 0;
  quillet::Application.RunGuarded([&] {
    quillet::TFMain window(parsed.Folder);
    if (parsed.Import) window.ImportScan(*parsed.Import);
    ::ShowWindow(window.Handle(), show);
    status = quillet::Application.Run();
  });
  return status;
}
