#include "ui/Jpeg.h"

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

namespace quillet {
namespace {

// Far larger than any picture the program ships; guards against a header that asks for gigabytes.
constexpr JDIMENSION kMaxSide = 16384;

// libjpeg reports fatal errors through error_exit, which must not return; we jump back to the
// frame that called into the library. Only C frames of libjpeg lie between setjmp and longjmp.
struct ErrorManager {
  jpeg_error_mgr Base;
  std::jmp_buf Jump;
  char Message[JMSG_LENGTH_MAX];
};

extern "C" void OnFatalError(j_common_ptr info) {
  auto* manager = reinterpret_cast<ErrorManager*>(info->err);
  (*info->err->format_message)(info, manager->Message);
  std::longjmp(manager->Jump, 1);
}

extern "C" void OnMessage(j_common_ptr) {
  // Warnings are counted by libjpeg (num_warnings) and judged afterwards; nothing goes to stderr.
}

// Owns one decompressor; destroying it releases everything libjpeg allocated.
class Decompressor {
 public:
  Decompressor() {
    m_info.err = jpeg_std_error(&m_errors.Base);
    m_errors.Base.error_exit = OnFatalError;
    m_errors.Base.output_message = OnMessage;
    m_errors.Message[0] = '\0';
  }
  ~Decompressor() {
    if (m_created) jpeg_destroy_decompress(&m_info);
  }
  Decompressor(const Decompressor&) = delete;
  Decompressor& operator=(const Decompressor&) = delete;

  // Runs the whole decode into result; false with result.Error set on a fatal libjpeg error.
  // Every object with a destructor is created before setjmp, so the jump skips none.
  bool Run(std::span<const std::byte> data, DecodedJpeg& result) {
    if (setjmp(m_errors.Jump) != 0) {
      result.Error = m_errors.Message;
      return false;
    }
    jpeg_create_decompress(&m_info);
    m_created = true;
    jpeg_mem_src(&m_info, reinterpret_cast<const unsigned char*>(data.data()),
                 static_cast<unsigned long>(data.size()));
    if (jpeg_read_header(&m_info, TRUE) != JPEG_HEADER_OK) {
      result.Error = "no JPEG picture in the data";
      return false;
    }
    if (m_info.image_width > kMaxSide || m_info.image_height > kMaxSide) {
      result.Error = "picture too large";
      return false;
    }
    m_info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&m_info);
    if (m_info.output_components != 3) {
      result.Error = "picture does not decode to RGB";
      return false;
    }
    const std::size_t stride = std::size_t{m_info.output_width} * 3;
    result.Width = static_cast<int>(m_info.output_width);
    result.Height = static_cast<int>(m_info.output_height);
    result.Rgb.resize(stride * m_info.output_height);
    while (m_info.output_scanline < m_info.output_height) {
      JSAMPROW row = result.Rgb.data() + stride * m_info.output_scanline;
      jpeg_read_scanlines(&m_info, &row, 1);
    }
    jpeg_finish_decompress(&m_info);
    if (m_errors.Base.num_warnings > 0) {
      // A truncated or damaged stream decodes with grey filler and a warning; refuse it.
      result.Error = "damaged JPEG data";
      return false;
    }
    return true;
  }

 private:
  jpeg_decompress_struct m_info{};
  ErrorManager m_errors{};
  bool m_created = false;
};

}  // namespace

DecodedJpeg DecodeJpeg(std::span<const std::byte> data) {
  DecodedJpeg result;
  if (data.empty()) {
    result.Error = "empty JPEG data";
    return result;
  }
  {
    Decompressor decompressor;
    if (!decompressor.Run(data, result)) {
      result.Width = 0;
      result.Height = 0;
      result.Rgb.clear();
    }
  }
  return result;
}

}  // namespace quillet
