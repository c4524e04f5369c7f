// Times the treemap on a file view's tree: the layout, the types' colours and the shaded
// picture, in a pane as the lower pane is at 96 dpi, the same at 144 dpi, and a full screen.
// The tree is the entries below FOLDER (walked here, not timed), or with no folder a generated
// tree of COUNT entries shaped like a home folder. Each line gives the best and the median of
// five runs (wall clock), the best CPU time of the thread, the tiles drawn and the bytes the layout
// keeps per tile. Usage: quillet-bench-treemap [FOLDER | --generate COUNT]
#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include "ui/Treemap.h"

namespace {

using quillet::treemap::Entry;
using quillet::treemap::TypeKeys;

// The entries below root in pre-order, as a file view lists them.
std::vector<Entry> Walk(const std::filesystem::path& root, TypeKeys& keys) {
  namespace fs = std::filesystem;
  std::vector<Entry> entries;
  std::vector<std::int32_t> folders;  // the folder at each depth
  std::error_code error;
  fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied, error);
  for (; !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
    folders.resize(static_cast<std::size_t>(it.depth()));
    const fs::file_status status = it->symlink_status(error);
    const bool folder = fs::is_directory(status);
    Entry entry;
    entry.Parent = folders.empty() ? -1 : folders.back();
    entry.Folder = folder;
    if (!folder) {
      entry.Type = keys.KeyOf(it->path().filename().native());
      if (fs::is_regular_file(status)) entry.Size = it->file_size(error);
      if (error) entry.Size = 0;
    }
    entries.push_back(entry);
    if (folder) folders.push_back(static_cast<std::int32_t>(entries.size() - 1));
    error.clear();
  }
  return entries;
}

// A tree of about count entries: folders of a few to a few hundred entries, a tenth of them
// folders, sizes log-normal around a few kilobytes, types Zipf-distributed over 200 extensions.
void Grow(std::vector<Entry>& entries, std::int32_t parent, int depth, std::size_t count,
          std::mt19937_64& random) {
  std::lognormal_distribution<double> fanOut(3.0, 1.2);
  std::lognormal_distribution<double> size(8.5, 2.5);
  std::uniform_real_distribution<double> uniform(0, 1);
  const auto here = static_cast<std::size_t>(std::min(2000.0, 1 + fanOut(random)));
  for (std::size_t i = 0; i < here && entries.size() < count; ++i) {
    if (depth < 12 && uniform(random) < 0.1) {
      entries.push_back({0, parent, 0, true});
      Grow(entries, static_cast<std::int32_t>(entries.size() - 1), depth + 1, count, random);
    } else {
      const auto type = static_cast<std::uint16_t>(1 + std::pow(200.0, uniform(random)));
      entries.push_back({static_cast<std::uint64_t>(size(random)), parent, type, false});
    }
  }
}

std::vector<Entry> Generate(std::size_t count) {
  std::mt19937_64 random(26);
  std::vector<Entry> entries;
  entries.reserve(count);
  while (entries.size() < count) {
    entries.push_back({0, -1, 0, true});
    Grow(entries, static_cast<std::int32_t>(entries.size() - 1), 0, count, random);
  }
  return entries;
}

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// The CPU time of this thread: what the work costs when the machine is shared.
double CpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

long PeakKilobytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

struct Pane {
  const char* Name;
  int Width, Height;
};

void Time(const std::vector<Entry>& entries, const Pane& pane) {
  constexpr int kRuns = 5;
  std::vector<double> layouts, pictures, layoutCpu, pictureCpu;
  std::size_t tiles = 0, bytes = 0;
  std::vector<std::uint32_t> pixels(static_cast<std::size_t>(pane.Width) * pane.Height);
  for (int run = 0; run < kRuns; ++run) {
    auto start = std::chrono::steady_clock::now();
    double cpu = CpuSeconds();
    const quillet::treemap::Layout layout(entries, pane.Width, pane.Height);
    layouts.push_back(Seconds(start));
    layoutCpu.push_back(CpuSeconds() - cpu);
    start = std::chrono::steady_clock::now();
    cpu = CpuSeconds();
    const quillet::treemap::TypeColours colours(entries);
    quillet::treemap::Render(layout, entries, colours, pixels);
    pictures.push_back(Seconds(start));
    pictureCpu.push_back(CpuSeconds() - cpu);
    tiles = layout.Tiles().size();
    bytes = layout.MemoryBytes();
  }
  for (auto* times : {&layouts, &pictures, &layoutCpu, &pictureCpu})
    std::sort(times->begin(), times->end());
  std::printf(
      "%-20s %4dx%-4d layout %.3f s (median %.3f, CPU %.3f)  colours+picture %.3f s (median "
      "%.3f, CPU %.3f)  %zu tiles, %.1f bytes each\n",
      pane.Name, pane.Width, pane.Height, layouts[0], layouts[kRuns / 2], layoutCpu[0], pictures[0],
      pictures[kRuns / 2], pictureCpu[0], tiles, tiles ? double(bytes) / double(tiles) : 0.0);
}

}  // namespace

int main(int argc, char** argv) {
  TypeKeys keys;
  std::vector<Entry> entries;
  const auto start = std::chrono::steady_clock::now();
  if (argc == 3 && std::strcmp(argv[1], "--generate") == 0) {
    entries = Generate(std::strtoull(argv[2], nullptr, 10));
    std::printf("generated tree: %zu entries\n", entries.size());
  } else if (argc == 2) {
    entries = Walk(argv[1], keys);
    std::printf("%s: %zu entries, walked in %.3f s (not counted below)\n", argv[1], entries.size(),
                Seconds(start));
  } else {
    std::fprintf(stderr, "usage: %s FOLDER | --generate COUNT\n", argv[0]);
    return 2;
  }
  const long before = PeakKilobytes();
  for (const Pane& pane :
       {Pane{"lower pane, 96 dpi", 1000, 400}, Pane{"lower pane, 144 dpi", 1500, 600},
        Pane{"full screen, 96 dpi", 1920, 1080}})
    Time(entries, pane);
  std::printf("peak RSS: %ld kB with the entries (%zu bytes each), %ld kB after laying out\n",
              before, sizeof(Entry), PeakKilobytes());
  return 0;
}
