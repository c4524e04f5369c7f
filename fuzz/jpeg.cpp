// The About picture's decoder on damaged pictures: a result that is either a whole picture or an
// error with no pixels, never a crash, a hang or a read outside the data (libjpeg is built with
// AddressSanitizer too, and the data sits in a buffer of exactly its size).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "ui/Jpeg.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const quillet::DecodedJpeg picture =
      quillet::DecodeJpeg(std::as_bytes(std::span<const std::uint8_t>(data, size)));
  if (picture.Ok()) {
    Check(picture.Width > 0 && picture.Width <= 16384 && picture.Height > 0 &&
          picture.Height <= 16384);
    Check(picture.Rgb.size() ==
          static_cast<std::size_t>(picture.Width) * static_cast<std::size_t>(picture.Height) * 3);
  } else {
    Check(picture.Width == 0 && picture.Height == 0 && picture.Rgb.empty());
  }
  return 0;
}
