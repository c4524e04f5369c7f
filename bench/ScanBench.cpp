// Measures a folder with the engine and prints its numbers and the seconds it took, so the scan
// benchmark can time it beside the peer tools and check its numbers.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "scan/Engine.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: quillet-bench-scan FOLDER [THREADS]\n");
    return 2;
  }
  const unsigned threads = argc > 2 ? static_cast<unsigned>(std::atoi(argv[2])) : 0;
  const auto start = std::chrono::steady_clock::now();
  const quillet::FolderStatistics s = quillet::MeasureFolder(argv[1], threads);
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  std::printf("%lld %lld %lld %lld %.6f\n", static_cast<long long>(s.TotalSize),
              static_cast<long long>(s.FileCount), static_cast<long long>(s.FolderCount),
              static_cast<long long>(s.UnreadableFolders), took.count());
  return 0;
}
