// Every beam's disc on file: the float TIFF stack, its CSV index and the composed picture of the whole pattern.
// SPDX-License-Identifier: BSD-3-Clause
#include "simulator/image/beam_files.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "simulator/image/encode_image.hpp"
#include "simulator/image/write_file_whole.hpp"

namespace velmorant {

namespace {

constexpr int kN = PatternImage::kSize;
constexpr double kCentre = 256.5;  // the optical axis between pixels 256 and 257

std::string with_suffix(const std::string& simulated_path, const std::string& suffix) {
  const std::size_t slash = simulated_path.find_last_of('/');
  const std::size_t dot = simulated_path.find_last_of('.');
  const bool has_extension =
      dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
  return (has_extension ? simulated_path.substr(0, dot) : simulated_path) + suffix;
}

// Half the side, in pixels, of the part of each disc that is drawn: the
// whole field (256), or the aperture's radius tan(alpha) / pixel_scale.
int half_extent(const BeamStack& stack, std::optional<float> aperture_mrad) {
  if (!aperture_mrad || !(stack.pixel_scale > 0.0f)) return kN / 2;
  const double radius = std::tan(double(*aperture_mrad) * 1e-3) / double(stack.pixel_scale);
  return int(std::min(double(kN / 2), std::ceil(radius + 0.5)));
}

int rounded(float offset) { return int(std::lround(offset)); }

bool drawable(const BeamDisc& d) {
  return std::isfinite(d.offset_i) && std::isfinite(d.offset_j) && std::fabs(d.offset_i) <= 1e6f &&
         std::fabs(d.offset_j) <= 1e6f;
}

// Which pixels (i, j) of a disc lie inside the aperture: the directions
// whose tangents x = (i - 256.5) p and y = (j - 256.5) p reach at most
// tan(alpha) from the disc's centre; every pixel without an aperture.
class ApertureCircle {
public:
  ApertureCircle(const BeamStack& stack, std::optional<float> aperture_mrad)
      : on_(aperture_mrad.has_value()),
        p_(stack.pixel_scale),
        limit_(aperture_mrad ? std::tan(double(*aperture_mrad) * 1e-3) : 0.0) {}
  bool contains(int i, int j) const {
    if (!on_) return true;
    const double x = (i - kCentre) * p_, y = (j - kCentre) * p_;
    return x * x + y * y <= limit_ * limit_;
  }

private:
  bool on_;
  double p_, limit_;
};

// The largest finite intensity of the pixels of disc b that the picture
// draws (within half_extent of its centre and inside the aperture).
float largest_drawn(const BeamStack& stack, int b, int h, const ApertureCircle& aperture) {
  const float* page = stack.page(b);
  float largest = 0.0f;
  for (int i = 257 - h; i <= 256 + h; ++i) {
    for (int j = 257 - h; j <= 256 + h; ++j) {
      if (!aperture.contains(i, j)) continue;
      const float v = page[PatternImage::index(i, j)];
      if (std::isfinite(v)) largest = std::max(largest, v);
    }
  }
  return largest;
}

}  // namespace

std::string beam_stack_path(const std::string& simulated_path) {
  return with_suffix(simulated_path, "_beams.tif");
}
std::string beam_index_path(const std::string& simulated_path) {
  return with_suffix(simulated_path, "_beams.csv");
}
std::string composed_pattern_path(const std::string& simulated_path) {
  return with_suffix(simulated_path, "_pattern.png");
}

std::optional<float> parse_aperture(const char* text) {
  if (!text || !*text) return std::nullopt;
  char* end = nullptr;
  const float v = std::strtof(text, &end);
  while (end && (*end == ' ' || *end == '\t')) ++end;
  if (end == text || (end && *end != '\0') || !(v > 0.0f) || !(v < 500.0f))
    throw std::invalid_argument(
        std::string(kApertureVariable) + " is \"" + text +
        "\"; it must be the convergence semi-angle in mrad, a number above 0 and below 500");
  return v;
}

ComposedLayout composed_layout(const BeamStack& stack, std::optional<float> aperture_mrad) {
  ComposedLayout layout;
  layout.half_extent = half_extent(stack, aperture_mrad);
  const int discs = std::min(stack.order(), int(stack.discs.size()));
  const ApertureCircle aperture(stack, aperture_mrad);
  std::vector<float> largest(std::size_t(discs), 0.0f);
  float brightest = 0.0f;
  for (int b = 0; b < discs; ++b) {
    if (!drawable(stack.discs[std::size_t(b)])) continue;
    largest[std::size_t(b)] = largest_drawn(stack, b, layout.half_extent, aperture);
    brightest = std::max(brightest, largest[std::size_t(b)]);
  }
  // A disc that stays black on the grey scale (every pixel more than
  // kComposedDecades below the brightest disc's brightest pixel) does not
  // widen the picture; it is still drawn where the picture reaches it.
  const float visible = brightest * std::pow(10.0f, -kComposedDecades);
  int oi_min = 0, oi_max = 0, oj_min = 0, oj_max = 0;
  for (int b = 0; b < discs; ++b) {
    const BeamDisc& d = stack.discs[std::size_t(b)];
    if (!drawable(d) || !(largest[std::size_t(b)] >= visible) || !(largest[std::size_t(b)] > 0.0f))
      continue;
    oi_min = std::min(oi_min, rounded(d.offset_i));
    oi_max = std::max(oi_max, rounded(d.offset_i));
    oj_min = std::min(oj_min, rounded(d.offset_j));
    oj_max = std::max(oj_max, rounded(d.offset_j));
  }
  const int h = layout.half_extent;
  // Rows run from top + 256 - h - oi_max to top + 255 + h - oi_min.
  layout.height = 2 * h + oi_max - oi_min;
  layout.top = oi_max - 256 + h;
  layout.width = 2 * h + oj_max - oj_min;
  layout.left = oj_max - 256 + h;
  // Too large: cut around the transmitted disc's centre.
  if (layout.height > kComposedLargestSide) {
    layout.height = kComposedLargestSide;
    layout.top = kComposedLargestSide / 2 - 256;
  }
  if (layout.width > kComposedLargestSide) {
    layout.width = kComposedLargestSide;
    layout.left = kComposedLargestSide / 2 - 256;
  }
  return layout;
}

PicturePoint disc_centre(const ComposedLayout& layout, const BeamDisc& disc) {
  return {double(layout.left) + (kN - kCentre) - double(disc.offset_j),
          double(layout.top) + (kN - kCentre) - double(disc.offset_i)};
}

std::vector<float> compose_pattern(const BeamStack& stack, const ComposedLayout& layout,
                                   std::optional<float> aperture_mrad) {
  std::vector<float> picture(std::size_t(layout.width) * std::size_t(layout.height), 0.0f);
  const int h = layout.half_extent;
  const ApertureCircle aperture(stack, aperture_mrad);
  for (int b = 0; b < stack.order() && std::size_t(b) < stack.discs.size(); ++b) {
    const BeamDisc& d = stack.discs[std::size_t(b)];
    if (!drawable(d)) continue;
    const int oi = rounded(d.offset_i), oj = rounded(d.offset_j);
    const float* page = stack.page(b);
    for (int i = 257 - h; i <= 256 + h; ++i) {
      const int row = layout.top + (kN - i) - oi;
      if (row < 0 || row >= layout.height) continue;
      for (int j = 257 - h; j <= 256 + h; ++j) {
        const int column = layout.left + (kN - j) - oj;
        if (column < 0 || column >= layout.width || !aperture.contains(i, j)) continue;
        picture[std::size_t(row) * std::size_t(layout.width) + std::size_t(column)] +=
            page[PatternImage::index(i, j)];
      }
    }
  }
  return picture;
}

std::vector<std::uint8_t> composed_grey_levels(const std::vector<float>& intensities) {
  float largest = 0.0f;
  for (float v : intensities)
    if (std::isfinite(v)) largest = std::max(largest, v);
  std::vector<std::uint8_t> grey(intensities.size(), 0);
  if (!(largest > 0.0f)) return grey;
  for (std::size_t k = 0; k < intensities.size(); ++k) {
    const float v = intensities[k];
    if (!(v > 0.0f) || !std::isfinite(v)) continue;
    const double level =
        255.0 * (1.0 + std::log10(double(v) / double(largest)) / double(kComposedDecades));
    grey[k] = std::uint8_t(std::lround(std::clamp(level, 0.0, 255.0)));
  }
  return grey;
}

std::string beam_index_text(const BeamStack& stack, const ComposedLayout& layout) {
  std::string text =
      "page,h,k,l,gx_per_angstrom,gy_per_angstrom,gz_per_angstrom,offset_up_px,offset_left_px,"
      "picture_column_px,picture_row_px\n";
  char line[320];
  for (std::size_t b = 0; b < stack.discs.size(); ++b) {
    const BeamDisc& d = stack.discs[b];
    const PicturePoint c = disc_centre(layout, d);
    std::snprintf(line, sizeof line, "%zu,%d,%d,%d,%.7g,%.7g,%.7g,%.3f,%.3f,%.3f,%.3f\n", b,
                  int(d.miller[0]), int(d.miller[1]), int(d.miller[2]), double(d.lab_vector[0]),
                  double(d.lab_vector[1]), double(d.lab_vector[2]), double(d.offset_i),
                  double(d.offset_j), c.column, c.row);
    text += line;
  }
  return text;
}

void write_beam_files(const BeamStack& stack, const std::string& simulated_path,
                      std::optional<float> aperture_mrad, const std::string& provenance) {
  const std::string tiff_path = beam_stack_path(simulated_path);
  {
    std::vector<std::string> names;
    for (const BeamDisc& d : stack.discs)
      names.push_back(std::to_string(d.miller[0]) + " " + std::to_string(d.miller[1]) + " " +
                      std::to_string(d.miller[2]));
    std::vector<std::uint8_t> bytes;
    try {
      bytes = encode_tiff_pages(stack.data(), stack.order(), names, provenance);
    } catch (const FileError& e) {
      throw FileError("cannot write the beam intensities \"" + tiff_path + "\": " + e.what());
    }
    write_file_whole(tiff_path, bytes.data(), bytes.size(), "the beam intensities");
  }
  const ComposedLayout layout = composed_layout(stack, aperture_mrad);
  const std::string index = "# " + provenance + "\n" + beam_index_text(stack, layout);
  write_file_whole(beam_index_path(simulated_path), index.data(), index.size(),
                   "the index of the beams");
  const std::string png_path = composed_pattern_path(simulated_path);
  const std::vector<std::uint8_t> grey =
      composed_grey_levels(compose_pattern(stack, layout, aperture_mrad));
  std::vector<std::uint8_t> bytes;
  try {
    bytes = encode_grey_png(grey.data(), layout.width, layout.height, provenance);
  } catch (const FileError& e) {
    throw FileError("cannot write the composed pattern \"" + png_path + "\": " + e.what());
  }
  write_file_whole(png_path, bytes.data(), bytes.size(), "the composed pattern");
}

}  // namespace velmorant
