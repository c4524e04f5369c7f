// Generates a benchmark tree: 10 x 10 x 10 folders holding FILES files each (1,000 by default:
// about one million entries; 300: about 300,000). Files get sizes by truncation, so they take
// no disk space.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
  if (argc != 2 && argc != 3) {
    std::fprintf(stderr, "usage: MakeTree FOLDER [FILES]\n");
    return 2;
  }
  const std::string root = argv[1];
  const int files = argc == 3 ? std::atoi(argv[2]) : 1000;
  ::mkdir(root.c_str(), 0755);
  long entries = 0;
  for (int a = 0; a < 10; ++a) {
    const std::string top = root + "/dir" + std::to_string(a);
    ::mkdir(top.c_str(), 0755);
    ++entries;
    for (int b = 0; b < 10; ++b) {
      const std::string mid = top + "/sub" + std::to_string(b);
      ::mkdir(mid.c_str(), 0755);
      ++entries;
      for (int c = 0; c < 10; ++c) {
        const std::string leaf = mid + "/leaf" + std::to_string(c);
        ::mkdir(leaf.c_str(), 0755);
        ++entries;
        for (int f = 0; f < files; ++f) {
          const std::string file = leaf + "/file-" + std::to_string(f) + ".dat";
          const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
          if (fd < 0) {
            std::perror(file.c_str());
            return 1;
          }
          if (::ftruncate(fd, (a * 7919L + b * 104729L + c * 31L + f * 17L) % 65536) != 0) {
            std::perror(file.c_str());
          }
          ::close(fd);
          ++entries;
        }
      }
    }
  }
  std::printf("%ld entries\n", entries);
  return 0;
}
