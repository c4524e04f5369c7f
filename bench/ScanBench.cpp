// Measures a folder with the engine and prints its numbers and the seconds it took, so the scan
// benchmark can time it beside the peer tools and check its numbers. With --minimal, a walker that
// is nothing but the system calls does the same with a given number of threads: the yardstick of
// what the disk allows.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "scan/Engine.h"

#ifndef _WIN32
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// Folders wait on one stack; each thread reads one folder at a time, stats its non-folders and
// pushes its subfolders. No links are followed and nothing is sorted or kept.
class MinimalWalk {
 public:
  quillet::FolderStatistics Run(const std::string& folder, unsigned threads) {
    m_folders.push_back(folder);
    std::vector<std::thread> pool;
    for (unsigned i = 0; i < threads; ++i)
      pool.emplace_back([this] { Work(); });
    for (auto& thread : pool)
      thread.join();
    return m_totals;
  }

 private:
  void Work() {
    quillet::FolderStatistics totals;
    std::vector<std::string> found;
    std::vector<char> buffer(64 * 1024);
    for (;;) {
      std::string folder;
      {
        std::unique_lock lock(m_mutex);
        m_ready.wait(lock, [&] { return !m_folders.empty() || m_busy == 0; });
        if (m_folders.empty()) break;
        folder = std::move(m_folders.back());
        m_folders.pop_back();
        ++m_busy;
      }
      const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      if (fd >= 0) {
        for (;;) {
          const long got = ::syscall(SYS_getdents64, fd, buffer.data(), buffer.size());
          if (got <= 0) break;
          for (long at = 0; at < got;) {
            const auto* record = reinterpret_cast<const dirent64*>(buffer.data() + at);
            at += record->d_reclen;
            const char* name = record->d_name;
            if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
            if (record->d_type == DT_DIR) {
              ++totals.FolderCount;
              found.push_back(folder + "/" + name);
              continue;
            }
            struct stat status;
            if (::fstatat(fd, name, &status, AT_SYMLINK_NOFOLLOW) != 0) continue;
            if (S_ISDIR(status.st_mode)) {
              ++totals.FolderCount;
              found.push_back(folder + "/" + name);
            } else {
              ++totals.FileCount;
              totals.TotalSize += status.st_size;
            }
          }
        }
        ::close(fd);
      }
      {
        std::lock_guard lock(m_mutex);
        for (auto& path : found)
          m_folders.push_back(std::move(path));
        --m_busy;
      }
      found.clear();
      m_ready.notify_all();
    }
    m_ready.notify_all();
    std::lock_guard lock(m_mutex);
    m_totals.TotalSize += totals.TotalSize;
    m_totals.FileCount += totals.FileCount;
    m_totals.FolderCount += totals.FolderCount;
  }

  std::mutex m_mutex;
  std::condition_variable m_ready;
  std::vector<std::string> m_folders;
  unsigned m_busy = 0;
  quillet::FolderStatistics m_totals;
};

}  // namespace
#endif

int main(int argc, char** argv) {
  const bool minimal = argc > 1 && std::string_view(argv[1]) == "--minimal";
  if (minimal) {
    --argc;
    ++argv;
  }
  if (argc < 2) {
    std::fprintf(stderr, "usage: quillet-bench-scan [--minimal] FOLDER [THREADS]\n");
    return 2;
  }
  const unsigned threads = argc > 2 ? static_cast<unsigned>(std::atoi(argv[2])) : 0;
  const auto start = std::chrono::steady_clock::now();
  quillet::FolderStatistics s;
  if (minimal) {
#ifdef _WIN32
    std::fprintf(stderr, "quillet-bench-scan: --minimal is for Linux only\n");
    return 2;
#else
    s = MinimalWalk().Run(argv[1], threads == 0 ? 1 : threads);
#endif
  } else {
    s = quillet::MeasureFolder(argv[1], threads);
  }
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  std::printf("%lld %lld %lld %lld %.6f\n", static_cast<long long>(s.TotalSize),
              static_cast<long long>(s.FileCount), static_cast<long long>(s.FolderCount),
              static_cast<long long>(s.UnreadableFolders), took.count());
  return 0;
}
