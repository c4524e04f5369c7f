// Lists a tree into the file list, as the file view command does, with a progress sink that
// costs nothing, and prints what it listed.
#include <chrono>
#include <cstdio>
#include <memory>

#include "lists/Lists.h"

namespace {

class QuietProgress : public quillet::ProgressSink {
 public:
  void Show() override {}
  bool UpdateProgress(std::string_view, std::string_view, bool, bool) override { return true; }
  void Close() override {}
};

class QuietFrontend : public quillet::Frontend, public quillet::StatusBar {
 public:
  std::unique_ptr<quillet::ProgressSink> CreateProgress() override {
    return std::make_unique<QuietProgress>();
  }
  quillet::StatusBar& Status() override { return *this; }
  void SetPanelText(quillet::StatusPanel, std::string_view) override {}
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: FileViewBench FOLDER\n");
    return 2;
  }
  QuietFrontend frontend;
  quillet::ListsModel model(frontend);
  model.AddResultList(argv[1]);
  model.SelectAll(quillet::ListKind::Result, true);
  const auto start = std::chrono::steady_clock::now();
  model.tmiViewFileViewFlagClick();
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  std::size_t pathBytes = 0;
  for (std::size_t i = 0; i < model.FileRowCount(); ++i)
    pathBytes += model.FileRowAt(i).Path.size();
  std::printf("rows %zu path_bytes %zu seconds %.3f\n", model.FileRowCount(), pathBytes,
              elapsed.count());
  return 0;
}
