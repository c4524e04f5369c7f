// Program start: the application object, its title, the main window, the message loop.
#include <windows.h>

#include <string>

#include "lists/CommandLine.h"
#include "scan/Utf16.h"
#include "ui/win32/Application.h"
#include "ui/win32/Main.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int show) {
  quillet::Application.Initialize();
  // The command line as one string, split by the program's own rules; only the first argument
  // after the program counts.
  const std::string commandLine = quillet::ToUtf8(std::wstring_view(::GetCommandLineW()));
  int status = 0;
  quillet::Application.RunGuarded([&] {
    quillet::TFMain window(quillet::FirstArgument(commandLine));
    ::ShowWindow(window.Handle(), show);
    status = quillet::Application.Run();
  });
  return status;
}
