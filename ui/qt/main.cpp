// Program start: the application object, its title, the main window, the message loop.
#include <optional>
#include <string>

#include "ui/qt/Application.h"
#include "ui/qt/Main.h"

int main(int argc, char** argv) {
  quillet::Application application(argc, argv);
  // Only the first argument counts: the folder whose subfolders fill the result list.
  std::optional<std::string> firstArgument;
  // argv as the system gave it (Qt has taken its own options out): a path's bytes stay as they are.
  if (argc > 1 && argv[1] != nullptr && argv[1][0] != '\0') firstArgument = std::string(argv[1]);
  quillet::TFMain window(firstArgument);
  window.show();
  return application.exec();
}
