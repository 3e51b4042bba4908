// Experimental BMP reader and the normalised correlation about mid grey.
#include "image/correlate_with_experiment.hpp"

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>

#include "image/image_path.hpp"

namespace velmorant {

namespace {

constexpr int kN = PatternImage::kSize;
constexpr std::size_t kPixels = PatternImage::kPixels;

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

std::uint32_t get16(const std::uint8_t* p) { return p[0] | (std::uint32_t(p[1]) << 8); }
std::uint32_t get32(const std::uint8_t* p) { return get16(p) | (get16(p + 2) << 16); }

// Reads exactly `size` bytes or throws: the image is shorter than its header says.
void read_exactly(std::FILE* f, std::uint8_t* out, std::size_t size, const std::string& path,
                  const char* part) {
  if (std::fread(out, 1, size, f) != size) {
    if (std::ferror(f))
      throw FileError("cannot read the experimental image \"" + path + "\": " + std::strerror(errno));
    throw FileError("the experimental image \"" + path + "\" is too short: it ends in " + part);
  }
}

// Element index of file pixel number p (stored row r = i - 1, pixel x -> j = 512 - x).
std::size_t element_of(std::size_t p) {
  const int r = static_cast<int>(p / kN), x = static_cast<int>(p % kN);
  return PatternImage::index(r + 1, kN - x);
}

}  // namespace

std::vector<int> read_experimental_image(const std::string& path) {
  errno = 0;
  File f(std::fopen(path.c_str(), "rb"));
  if (!f) {
    std::string reason = errno ? std::strerror(errno) : "cannot open";
    throw FileError("cannot open the experimental image \"" + path + "\": " + reason);
  }
  std::uint8_t h[54];
  read_exactly(f.get(), h, 2, path, "its first two bytes");
  if (h[0] != 'B' || h[1] != 'M') return {};
  read_exactly(f.get(), h + 2, 52, path, "its 54-byte header");
  const auto width = static_cast<std::int32_t>(get32(h + 18));
  const auto height = static_cast<std::int32_t>(get32(h + 22));
  const std::uint32_t bits = get16(h + 28);
  const std::uint32_t compression = get32(h + 30);
  const std::uint32_t colours_used = get32(h + 46);
  if (compression != 0 || width != kN || height != kN) return {};
  if (bits != 8 && bits != 24) return {};

  std::vector<int> grey(kPixels);
  if (bits == 8) {
    // The palette has exactly colours-used entries; a pixel byte is its grey
    // level whatever the palette says. Skip by reading, so that a palette
    // longer than the file is reported as a short file.
    std::uint64_t skip = std::uint64_t(colours_used) * 4;
    std::uint8_t buf[4096];
    while (skip > 0) {
      std::size_t n = skip < sizeof buf ? static_cast<std::size_t>(skip) : sizeof buf;
      read_exactly(f.get(), buf, n, path, "its palette");
      skip -= n;
    }
    std::vector<std::uint8_t> row(kN);
    for (int r = 0; r < kN; ++r) {
      read_exactly(f.get(), row.data(), row.size(), path, "its pixel data");
      for (int x = 0; x < kN; ++x) grey[element_of(std::size_t(r) * kN + x)] = row[x];
    }
  } else {
    std::vector<std::uint8_t> row(3 * kN);
    bool ramp = false;
    for (int r = 0; r < kN; ++r) {
      read_exactly(f.get(), row.data(), row.size(), path, "its pixel data");
      if (r == 0) {
        // The first pixel of the file decides how every pixel becomes grey.
        const int b = row[0], g = row[1], rd = row[2];
        ramp = b + g + rd == 256 && (b == 0 || g == 0 || rd == 0);
      }
      for (int x = 0; x < kN; ++x) {
        const int b = row[3 * x], g = row[3 * x + 1], rd = row[3 * x + 2];
        int a;
        if (!ramp)
          a = (b + g + rd) / 3;
        else
          a = b != 0 ? (g - 1) / 2 : 255 - (g - 1) / 2;  // truncation toward zero
        grey[element_of(std::size_t(r) * kN + x)] = a;
      }
    }
  }
  return grey;
}

float correlate_grey_levels(const std::vector<int>& grey, const PatternImage& scaled) {
  if (grey.size() != kPixels) return kUnusableImage;
  // Accumulated in file order, each sum rounded to single precision after every addition.
  float sxy = 0.0f, sxx = 0.0f, syy = 0.0f;
  for (std::size_t p = 0; p < kPixels; ++p) {
    const std::size_t e = element_of(p);
    const float x = static_cast<float>(grey[e] - 128);
    const float y = scaled.data()[e] - 128.0f;
    sxy = sxy + x * y;
    sxx = sxx + x * x;
    syy = syy + y * y;
  }
  float r = sxy / std::sqrt(sxx * syy);
  if (r > 1.0f) r = 1.0f;
  if (r < -1.0f || std::isnan(r)) r = -1.0f;
  return r;
}

void check_experimental_image(const SimulationInput& in) {
  (void)read_experimental_image(experimental_image_path(in));
}

float correlate_with_experiment(const PatternImage& scaled, const SimulationInput& in) {
  return correlate_grey_levels(read_experimental_image(experimental_image_path(in)), scaled);
}

}  // namespace velmorant
