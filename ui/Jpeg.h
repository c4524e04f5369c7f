// The About picture's decoder: libjpeg called directly, so both front ends show the same pixels.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace quillet {

struct DecodedJpeg {
  int Width = 0;
  int Height = 0;
  std::vector<std::uint8_t> Rgb;  // Width * Height * 3 bytes, rows top to bottom
  std::string Error;              // empty when the picture decoded completely

  bool Ok() const { return Error.empty(); }
};

// Decodes a JPEG held in memory into 8-bit RGB. A damaged, truncated or oversized picture gives
// an empty result with Error saying why; the decoder never ends the process.
DecodedJpeg DecodeJpeg(std::span<const std::byte> data);

}  // namespace quillet
