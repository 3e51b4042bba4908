// Grey-level scaling of the pattern and the 8- and 24-bit BMP layouts.
// SPDX-License-Identifier: BSD-3-Clause
#include "simulator/image/write_pattern_image.hpp"

#include <sys/stat.h>

#include <cmath>
#include <vector>

#include "simulator/image/image_path.hpp"
#include "simulator/image/write_file_whole.hpp"

namespace velmorant {

namespace {

constexpr int kN = PatternImage::kSize;
constexpr int kGreyLevels = 256;  // palette entries of the 8-bit layout

void put16(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v & 0xFF);
  p[1] = static_cast<std::uint8_t>((v >> 8) & 0xFF);
}

void put32(std::uint8_t* p, std::uint32_t v) {
  put16(p, v & 0xFFFF);
  put16(p + 2, v >> 16);
}

// The 54-byte file and information headers (little-endian).
void put_header(std::uint8_t* h, std::uint32_t file_size, std::uint32_t data_offset,
                std::uint32_t bits, std::uint32_t data_size, std::uint32_t resolution,
                std::uint32_t colours) {
  h[0] = 'B';
  h[1] = 'M';
  put32(h + 2, file_size);
  put16(h + 6, 0);
  put16(h + 8, 0);
  put32(h + 10, data_offset);
  put32(h + 14, 40);
  put32(h + 18, kN);
  put32(h + 22, kN);
  put16(h + 26, 1);
  put16(h + 28, bits);
  put32(h + 30, 0);
  put32(h + 34, data_size);
  put32(h + 38, resolution);
  put32(h + 42, resolution);
  put32(h + 46, colours);
  put32(h + 50, colours);
}

}  // namespace

void scale_to_grey_levels(PatternImage& image) {
  float* v = image.data();
  const std::size_t n = PatternImage::size();
  // Smallest finite element; NaN when there is none (everything stays non-finite).
  float m = NAN;
  for (std::size_t k = 0; k < n; ++k)
    if (std::isfinite(v[k]) && !(v[k] >= m)) m = v[k];
  for (std::size_t k = 0; k < n; ++k) v[k] = v[k] - m;
  float big = NAN;
  for (std::size_t k = 0; k < n; ++k)
    if (std::isfinite(v[k]) && !(v[k] <= big)) big = v[k];
  for (std::size_t k = 0; k < n; ++k) v[k] = v[k] * 255.0f / big;
}

std::uint8_t grey_level(float scaled) {
  if (!std::isfinite(scaled) || std::fabs(scaled) > 1.0e9f) return 0;
  return static_cast<std::uint8_t>(std::lround(scaled) & 0xFF);
}

std::uint32_t encoded_size(std::int32_t image_bits) {
  if (image_bits == 8) return kBmp8FileSize;
  if (image_bits == 24) return kBmp24FileSize;
  return 0;
}

void encode_pattern_image(const PatternImage& scaled, std::int32_t image_bits, std::uint8_t* out) {
  if (image_bits != 8 && image_bits != 24) return;
  std::uint8_t* px;
  if (image_bits == 8) {
    put_header(out, kBmp8FileSize, 1078, 8, kN * kN, 2808, kGreyLevels);
    for (int k = 0; k < kGreyLevels; ++k) {
      std::uint8_t* e = out + kBmpHeaderSize + 4 * k;
      e[0] = e[1] = e[2] = static_cast<std::uint8_t>(k);
      e[3] = 0;
    }
    px = out + 1078;
  } else {
    put_header(out, kBmp24FileSize, kBmpHeaderSize, 24, 3 * kN * kN, 0, 0);
    px = out + kBmpHeaderSize;
  }
  // Stored row r is i = r + 1; pixel x of the row is j = 512 - x.
  const int depth = image_bits / 8;
  for (int i = 1; i <= kN; ++i)
    for (int j = kN; j >= 1; --j) {
      std::uint8_t g = grey_level(scaled(i, j));
      for (int c = 0; c < depth; ++c) *px++ = g;
    }
}

void check_image_folder(const SimulationInput& in) {
  const std::string path = simulated_image_path(in);
  const std::size_t slash = path.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "."
                             : slash == 0               ? "/"
                                                        : path.substr(0, slash);
  struct stat st;
  if (::stat(folder.c_str(), &st) != 0)
    throw FileError("cannot write the simulated image \"" + path + "\": the folder \"" + folder +
                        "\" does not exist",
                    path, FileError::Kind::not_found);
  if (!S_ISDIR(st.st_mode))
    throw FileError(
        "cannot write the simulated image \"" + path + "\": \"" + folder + "\" is not a folder",
        path);
}

void write_pattern_image(PatternImage& image, const SimulationInput& in) {
  scale_to_grey_levels(image);
  std::vector<std::uint8_t> bytes(encoded_size(in.image_bits));
  encode_pattern_image(image, in.image_bits, bytes.data());
  write_file_whole(simulated_image_path(in), bytes.data(), bytes.size(), "the simulated image");
}

}  // namespace velmorant
