// Recognising BMP, PNG and TIFF files by their signatures.
// SPDX-License-Identifier: BSD-3-Clause
#include "simulator/image/image_format.hpp"

#include <cstring>

namespace velmorant {

ImageFormat detect_image_format(const std::uint8_t* b, std::size_t size) {
  static const std::uint8_t png[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (size >= 2 && b[0] == 'B' && b[1] == 'M') return ImageFormat::bmp;
  if (size >= 8 && std::memcmp(b, png, 8) == 0) return ImageFormat::png;
  if (size >= 4 && ((b[0] == 'I' && b[1] == 'I' && b[2] == 42 && b[3] == 0) ||
                    (b[0] == 'M' && b[1] == 'M' && b[2] == 0 && b[3] == 42)))
    return ImageFormat::tiff;
  return ImageFormat::unknown;
}

const char* format_name(ImageFormat format) {
  switch (format) {
    case ImageFormat::bmp:
      return "BMP";
    case ImageFormat::png:
      return "PNG";
    case ImageFormat::tiff:
      return "TIFF";
    case ImageFormat::unknown:
      break;
  }
  return "unknown";
}

bool format_built(ImageFormat format) {
  switch (format) {
    case ImageFormat::bmp:
      return true;
#ifdef VELMORANT_HAVE_PNG
    case ImageFormat::png:
      return true;
#endif
#ifdef VELMORANT_HAVE_TIFF
    case ImageFormat::tiff:
      return true;
#endif
    default:
      break;
  }
  return false;
}

}  // namespace velmorant
