// The file list's store at sizes no disk tree here should be made for: the entries of
// MakeTree's shape (10 x 10 x 10 folders of FILES files) appended as a file view appends them,
// without a walk. Prints the entries, the store's own bytes per entry and the resident bytes per
// entry it added (names included), the average name, and the seconds to append, to build every
// path once, and to sort by name and by path as a header click does (wall and CPU).
#include <time.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "lists/FileStore.h"
#include "lists/Sorting.h"

namespace {

long ResidentKiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  }
  return 0;
}

double Since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The CPU seconds of this thread: what a sort costs when the machine is shared.
double CpuSeconds() {
  timespec now;
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: StoreBench ROOT FILES\n");
    return 2;
  }
  const std::string root = argv[1];
  const int files = std::atoi(argv[2]);
  quillet::FileStore store;
  const long before = ResidentKiB();
  std::size_t nameBytes = 0;
  const auto add = [&](const std::string& path, bool folder, std::int64_t size) {
    nameBytes += path.size() - path.rfind('/') - 1;
    if (!store.Append(path, folder, size, folder ? 4096 : (size + 511) / 512 * 512)) {
      std::fprintf(stderr, "store full at %zu entries\n", store.Count());
      std::exit(1);
    }
  };
  auto start = std::chrono::steady_clock::now();
  store.BeginListing();
  for (int a = 0; a < 10; ++a) {
    const std::string top = root + "/dir" + std::to_string(a);
    add(top, true, 0);
    for (int b = 0; b < 10; ++b) {
      const std::string mid = top + "/sub" + std::to_string(b);
      add(mid, true, 0);
      for (int c = 0; c < 10; ++c) {
        const std::string leaf = mid + "/leaf" + std::to_string(c);
        add(leaf, true, 0);
        for (int f = 0; f < files; ++f) {
          add(leaf + "/file-" + std::to_string(f) + ".dat", false,
              (a * 7919L + b * 104729L + c * 31L + f * 17L) % 65536);
        }
      }
    }
  }
  const double appendSeconds = Since(start);
  const double entries = static_cast<double>(store.Count());
  const double resident = static_cast<double>(ResidentKiB() - before) * 1024.0 / entries;
  const double own = static_cast<double>(store.MemoryBytes()) / entries;

  start = std::chrono::steady_clock::now();
  double pathBytes = 0;
  {
    const quillet::FileStore::PathTable paths = store.Paths();
    pathBytes = static_cast<double>(paths.Shared().size() + paths.Text(store.Count() - 1).size());
  }
  const double pathsSeconds = Since(start);

  double sortCpu = 0;
  const auto sortBy = [&](bool byPath) {
    const auto begin = std::chrono::steady_clock::now();
    const double cpu = CpuSeconds();
    std::vector<std::size_t> order;
    if (byPath) {
      const quillet::FileStore::PathTable paths = store.Paths();
      order = quillet::sorting::OrderByText(
          store.Count(), [&paths](std::size_t i) { return paths.Text(i); }, true);
    } else {
      order = quillet::sorting::OrderByText(
          store.Count(), [&store](std::size_t i) { return store.NameAt(i); }, true);
    }
    store.Reorder(order);
    sortCpu = CpuSeconds() - cpu;
    return Since(begin);
  };
  const double nameSort = sortBy(false);
  const double nameCpu = sortCpu;
  const double pathSort = sortBy(true);
  std::printf(
      "entries %zu own_bytes_per_entry %.1f resident_bytes_per_entry %.1f average_name %.1f "
      "last_path %.0f append_s %.3f all_paths_s %.3f name_sort_s %.3f path_sort_s %.3f "
      "name_sort_cpu_s %.3f path_sort_cpu_s %.3f\n",
      store.Count(), own, resident, static_cast<double>(nameBytes) / entries, pathBytes,
      appendSeconds, pathsSeconds, nameSort, pathSort, nameCpu, sortCpu);
  return 0;
}
