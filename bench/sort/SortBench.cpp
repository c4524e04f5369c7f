// Times the header-click sorts: every column of a file list of the entries below FOLDER (a
// million with the file view benchmark's tree) and of a result list of ROWS generated rows, in
// both directions, each sort starting from the order the one before left. Each line gives the
// best and the median of three sorts: wall clock, and the CPU time of the thread (what the sort
// costs when the machine is shared). With --compare it also times the comparators themselves
// in a stable sort, the way the lists sorted before.
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <numeric>
#include <random>
#include <string>
#include <vector>

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

struct Times {
  double Wall;
  double Cpu;
};

template <typename Work>
Times Measure(Work work) {
  timespec cpuStart;
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpuStart);
  const auto start = std::chrono::steady_clock::now();
  work();
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  timespec cpuEnd;
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpuEnd);
  return {wall, static_cast<double>(cpuEnd.tv_sec - cpuStart.tv_sec) +
                    static_cast<double>(cpuEnd.tv_nsec - cpuStart.tv_nsec) * 1e-9};
}

// "best / median" of a list of seconds.
std::string Summary(std::vector<double> seconds) {
  std::sort(seconds.begin(), seconds.end());
  char text[64];
  std::snprintf(text, sizeof text, "%.3f / %.3f", seconds.front(), seconds[seconds.size() / 2]);
  return text;
}

// Sorts with every column in both directions, runs times each, through sortList; compare
// gives the seconds of a stable sort with the comparator from the same starting order (or a
// negative number), once per column and direction.
template <typename SetSort, typename SortList, typename Compare>
void TimeColumns(int columns, int runs, SetSort setSort, SortList sortList, Compare compare) {
  for (int column = 0; column < columns; ++column) {
    for (const bool descending : {false, true}) {
      std::vector<double> wall, cpu;
      double compared = -1;
      for (int run = 0; run < runs; ++run) {
        // The other direction first, so that every timed sort moves rows.
        setSort(column, !descending);
        sortList();
        setSort(column, descending);
        if (run == 0) compared = compare();
        const Times times = Measure(sortList);
        wall.push_back(times.Wall);
        cpu.push_back(times.Cpu);
      }
      std::printf("  column %d %-10s wall %s s   cpu %s s", column,
                  descending ? "descending" : "ascending", Summary(wall).c_str(),
                  Summary(cpu).c_str());
      if (compared >= 0) std::printf("   (comparator in a stable sort: %.3f s)", compared);
      std::printf("\n");
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  bool compare = false;
  std::vector<const char*> arguments;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--compare") == 0) {
      compare = true;
    } else {
      arguments.push_back(argv[i]);
    }
  }
  if (arguments.size() != 2) {
    std::fprintf(stderr, "usage: quillet-bench-sort [--compare] FOLDER ROWS\n");
    return 2;
  }
  QuietFrontend frontend;
  quillet::ListsModel model(frontend);
  model.AddResultList(arguments[0]);
  model.SelectAll(quillet::ListKind::Result, true);
  model.tmiViewFileViewFlagClick();
  model.tmiEditDelListClick();  // the file list stays

  // Result rows as a start-up population and drops make them: names that share beginnings,
  // sizes and counts spread over many magnitudes, a tenth not measured.
  const long rows = std::atol(arguments[1]);
  std::mt19937_64 random(42);
  for (long i = 0; i < rows; ++i) {
    const std::string name = "project-" + std::to_string(random() % 1000) + "-" +
                             (random() % 2 ? "Data" : "data") + std::to_string(i);
    model.AddResultList("/home/someone/work/" + name);
    if (random() % 10 == 0) continue;
    const auto magnitude = static_cast<int>(random() % 40);
    model.SetStatistics(model.ResultRowCount() - 1,
                        {static_cast<std::int64_t>(random() >> (63 - magnitude)),
                         static_cast<std::int64_t>(random() % 100000),
                         static_cast<std::int64_t>(random() % 1000), 0});
  }

  const int runs = 3;
  std::printf("file list: %zu rows (best / median of %d)\n", model.FileRowCount(), runs);
  TimeColumns(
      3, runs, [&](int column, bool descending) { model.SetFileSort(column, descending); },
      [&] { model.SortFileList(); },
      [&] {
        if (!compare) return -1.0;
        std::vector<std::size_t> order(model.FileRowCount());
        std::iota(order.begin(), order.end(), std::size_t{0});
        const Times old = Measure([&] {
          std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
            return model.lvwFileCompare(a, b) < 0;
          });
        });
        return old.Wall;
      });
  std::printf("result list: %zu rows (best / median of %d)\n", model.ResultRowCount(), runs);
  TimeColumns(
      5, runs, [&](int column, bool descending) { model.SetResultSort(column, descending); },
      [&] { model.SortResultList(); },
      [&] {
        if (!compare) return -1.0;
        std::vector<quillet::ResultRow> copy(model.ResultRowCount());
        for (std::size_t i = 0; i < copy.size(); ++i)
          copy[i] = model.ResultRowAt(i);
        const Times old = Measure([&] {
          std::stable_sort(copy.begin(), copy.end(),
                           [&](const quillet::ResultRow& a, const quillet::ResultRow& b) {
                             return model.lvwResultCompare(a, b) < 0;
                           });
        });
        return old.Wall;
      });
  return 0;
}
