// The sort comparison of texts: a total order up to ASCII case, antisymmetric and transitive,
// and the same as comparing the texts with a-z folded to A-Z as unsigned bytes.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "scan/Text.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

int Sign(int value) {
  return (value > 0) - (value < 0);
}

std::string Folded(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

// The texts' order with the bytes taken as unsigned, as std::string orders char_traits<char>.
int ReferenceCompare(const std::string& a, const std::string& b) {
  const std::string x = Folded(a), y = Folded(b);
  const bool less = std::lexicographical_compare(
      x.begin(), x.end(), y.begin(), y.end(),
      [](char p, char q) { return static_cast<unsigned char>(p) < static_cast<unsigned char>(q); });
  if (less) return -1;
  return x == y ? 0 : 1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  const std::string texts[3] = {input.ConsumeRandomLengthString(64),
                                input.ConsumeRandomLengthString(64),
                                input.ConsumeRandomLengthString()};
  int order[3][3];
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      order[i][j] = Sign(quillet::CompareText(texts[i], texts[j]));
      Check(order[i][j] == ReferenceCompare(texts[i], texts[j]));
    }
  }
  for (int i = 0; i < 3; ++i) {
    Check(order[i][i] == 0);
    for (int j = 0; j < 3; ++j) {
      Check(order[i][j] == -order[j][i]);
      for (int k = 0; k < 3; ++k) {
        // a <= b and b <= c give a <= c, strictly when either step is strict.
        if (order[i][j] <= 0 && order[j][k] <= 0)
          Check(order[i][k] == std::min(order[i][j], order[j][k]));
      }
    }
  }
  return 0;
}
