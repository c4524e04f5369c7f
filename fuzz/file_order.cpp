// The file list's comparator, under every sort column and direction, is a strict weak ordering
// on the rows of a file view. Only a file view fills that list, so each input is made into a
// real folder tree (names, kinds, sparse sizes) in a scratch folder and listed.
#include <fcntl.h>
#include <unistd.h>

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "fuzz/StrictWeakOrder.h"
#include "lists/Lists.h"
#include "tests/lists/TestFrontend.h"

namespace {

namespace fs = std::filesystem;

// One scratch folder per process, removed at exit.
struct Scratch {
  Scratch() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/quillet-fuzz-XXXXXX";
    if (!mkdtemp(pattern.data())) std::abort();
    Root = pattern;
  }
  ~Scratch() {
    std::error_code ignored;
    fs::remove_all(Root, ignored);
  }
  fs::path Root;
};

const fs::path& ScratchRoot() {
  static const Scratch scratch;
  return scratch.Root;
}

// A name the file system takes: no separator or NUL, not "." or "..", at most 255 bytes.
std::string EntryName(std::string name) {
  for (char& c : name) {
    if (c == '/' || c == '\0') c = '_';
  }
  if (name.empty() || name == "." || name == "..") name += '_';
  return name.substr(0, 255);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  const fs::path tree = ScratchRoot() / "t";
  fs::remove_all(tree);
  fs::create_directory(tree);
  std::vector<fs::path> folders = {tree};
  const int entries = input.ConsumeIntegralInRange(1, 8);
  for (int i = 0; i < entries; ++i) {
    const fs::path& parent =
        folders[input.ConsumeIntegralInRange<std::size_t>(0, folders.size() - 1)];
    const fs::path path = parent / EntryName(input.ConsumeRandomLengthString(12));
    if (input.ConsumeBool()) {
      std::error_code taken;  // a file of that name may be there
      if (fs::create_directory(path, taken)) folders.push_back(path);
      continue;
    }
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    if (fd < 0) continue;  // the name is taken already
    // Sparse: a large size costs nothing on disk.
    const auto length = input.ConsumeBool()
                            ? input.ConsumeIntegralInRange<std::int64_t>(0, 1100)
                            : input.ConsumeIntegralInRange<std::int64_t>(0, std::int64_t{1} << 40);
    if (ftruncate(fd, length) != 0) std::abort();
    close(fd);
  }

  quillet::test::TestFrontend frontend;
  quillet::ListsModel model(frontend);
  model.AddResultList(tree.string());
  model.SetSelected(quillet::ListKind::Result, 0, true);
  model.tmiViewFileViewFlagClick();
  const auto describe = [&](std::size_t i) {
    const quillet::FileRow row = model.FileRowAt(i);
    return quillet::fuzz::Shown(row.Path) +
           (row.IsFolder ? " folder" : " " + std::to_string(row.Size));
  };
  for (int column = 0; column <= 3; ++column) {
    for (const bool descending : {false, true}) {
      model.SetFileSort(column, descending);
      quillet::fuzz::CheckStrictWeakOrder(
          "file", column, descending, model.FileRowCount(),
          [&](std::size_t a, std::size_t b) { return model.lvwFileCompare(a, b); }, describe);
    }
  }
  return 0;
}
