// Reading the experimental image file whole and handing it to the decoder of its format.
// SPDX-License-Identifier: BSD-3-Clause
#include "simulator/image/experimental_image.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace velmorant {

namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

}  // namespace

ExperimentalImage decode_experimental_image(const std::uint8_t* bytes, std::size_t size,
                                            const std::string& path) {
  if (size < 2) throw FileError(about(path, "is too short: it ends in its first two bytes"), path);
  const ImageFormat format = detect_image_format(bytes, size);
  switch (format) {
    case ImageFormat::bmp:
      return decode_bmp(bytes, size, path);
    case ImageFormat::png:
      return decode_png(bytes, size, path);
    case ImageFormat::tiff:
      return decode_tiff(bytes, size, path);
    case ImageFormat::unknown:
      break;
  }
  ExperimentalImage image;
  char first[16];
  std::snprintf(first, sizeof first, "%02X %02X", bytes[0], bytes[1]);
  image.problem = about(
      path, std::string("is neither BMP, PNG nor TIFF (it starts with the bytes ") + first + ")");
  return image;
}

ExperimentalImage load_experimental_image(const std::string& path) {
  errno = 0;
  File f(std::fopen(path.c_str(), "rb"));
  if (!f) {
    const int error = errno;
    std::string reason = error ? std::strerror(error) : "cannot open";
    throw FileError("cannot open the experimental image \"" + path + "\": " + reason, path,
                    FileError::kind_of_errno(error));
  }
  std::vector<std::uint8_t> bytes;
  std::uint8_t buf[65536];
  for (;;) {
    const std::size_t n = std::fread(buf, 1, sizeof buf, f.get());
    bytes.insert(bytes.end(), buf, buf + n);
    if (n < sizeof buf) break;
    if (bytes.size() > kLargestImageFile) {
      ExperimentalImage image;
      image.format = detect_image_format(bytes.data(), bytes.size());
      image.problem = about(path, "is larger than " + std::to_string(kLargestImageFile >> 20) +
                                      " MiB, far more than a 512 x 512 image needs");
      return image;
    }
  }
  if (std::ferror(f.get()))
    throw FileError("cannot read the experimental image \"" + path + "\": " + std::strerror(errno),
                    path);
  return decode_experimental_image(bytes.data(), bytes.size(), path);
}

}  // namespace velmorant
