// The reader of ncdu exports: whatever bytes it is given, it either refuses them with a reason
// and an offset inside them, or reads a tree that, written back as an export of our own, reads
// into an equal tree; its statistics and listing of every top folder never fail.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <string_view>

#include "report/NcduOutput.h"
#include "scan/Import.h"

namespace {

void Check(bool holds, const char* what) {
  if (!holds) {
    std::fprintf(stderr, "property failed: %s\n", what);
    std::abort();
  }
}

bool SameEntry(const quillet::ImportedTree& a, const quillet::ImportedTree& b,
               quillet::ImportedTree::Index node) {
  const auto x = a.At(node);
  const auto y = b.At(node);
  return x.Name == y.Name && x.IsFolder == y.IsFolder && x.ReadError == y.ReadError &&
         x.NotRegular == y.NotRegular && x.HardLinked == y.HardLinked && x.Excluded == y.Excluded &&
         x.Size == y.Size && x.Disk == y.Disk && a.ParentOf(node) == b.ParentOf(node) &&
         a.End(node) == b.End(node) &&
         (!x.HardLinked || (x.Device == y.Device && x.Inode == y.Inode));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  quillet::ImportFailure failure;
  const auto tree = quillet::ImportedTree::Read(text, failure);
  if (!tree) {
    Check(!failure.Reason.empty() && failure.Offset <= size, "a refusal says why and where");
    return 0;
  }
  Check(tree->Size() > 0, "a tree has its root");
  for (const auto folder : tree->TopFolders()) {
    const quillet::FolderStatistics statistics = tree->Statistics(folder);
    std::int64_t listed = 0;
    tree->List(folder, '/', [&](const quillet::TreeEntry&) {
      ++listed;
      return true;
    });
    Check(statistics.FileCount + statistics.FolderCount >= listed, "the listing is counted");
    const std::string path = tree->PathOf(folder, '/');
    // Names may repeat in a hostile export: the first entry of that path is found.
    const auto found = tree->Find(path, '/');
    Check(found && *found <= folder && tree->PathOf(*found, '/') == path,
          "a folder is found by its path");
  }

  std::ostringstream out;
  {
    quillet::report::NcduWriter writer(out, "fuzz", 0);
    quillet::report::WriteImportedTree(*tree, writer);
    writer.Finish();
  }
  quillet::ImportFailure again;
  const auto back = quillet::ImportedTree::Read(out.str(), again);
  Check(back != nullptr, "what was read, written back, reads again");
  Check(back->Size() == tree->Size(), "as many entries");
  for (quillet::ImportedTree::Index node = 0; node < tree->Size(); ++node)
    Check(SameEntry(*tree, *back, node), "every entry the same");
  return 0;
}
