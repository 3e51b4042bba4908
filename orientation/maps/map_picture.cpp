// The orientation map as a picture: inverse-pole-figure colours per map position and a colour key.
// SPDX-License-Identifier: BSD-3-Clause
#include "orientation/maps/map_picture.hpp"

#include <algorithm>
#include <array>
#include <string>
#include <string_view>

#include "common/atomic_file.hpp"
#include "common/png_encode.hpp"
#include "orientation/errors/report_fatal_error.hpp"
#include "orientation/maps/pixel_font.hpp"

namespace talvor {

namespace {

constexpr int kMapTargetPixels = 512;  // longer side of the map part of the picture
constexpr int kKeySize = 192;          // side of the colour key's square, pixels
constexpr int kMargin = 8;             // pixels around and between the parts
constexpr int kLabelBand = 14;  // pixels above and left of the map, and below the key, for labels
constexpr Rgb kInk = {0, 0, 0};

void Fill(Raster& r, int x, int y, const Rgb& c) {
  if (x < 0 || y < 0 || x >= r.width || y >= r.height) return;
  std::uint8_t* p = &r.rgb[3 * (static_cast<std::size_t>(y) * r.width + x)];
  p[0] = c[0];
  p[1] = c[1];
  p[2] = c[2];
}

// `text` in the pixel font with its top left corner at (x, y).
void DrawText(Raster& r, int x, int y, std::string_view text) {
  for (char c : text) {
    const auto rows = Glyph(c);
    for (int j = 0; j < kGlyphHeight; ++j)
      for (int i = 0; i < kGlyphWidth; ++i)
        if (rows[static_cast<std::size_t>(j)] & (0x10 >> i)) Fill(r, x + i, y + j, kInk);
    x += kGlyphAdvance;
  }
}

// The corners of the key's standard triangle, red, green, blue.
std::array<std::string_view, 3> CornerNames(LaueClass laue) {
  if (laue == LaueClass::cubic) return {"[001]", "[101]", "[111]"};
  return {"[0001]", "[2-1-10]", "[10-10]"};
}

}  // namespace

void MapPicture::Add(const MapPosition& position, bool solved, const Mat3& g) {
  if (!position.known) return;
  if (position.x < 0 || position.y < 0 || position.x > kMaxMapCoordinate ||
      position.y > kMaxMapCoordinate) {
    ++outside_;
    return;
  }
  const Rgb rgb = solved ? IpfColourOfOrientation(frame_, g) : Rgb{0, 0, 0};
  points_.push_back(
      {static_cast<std::uint16_t>(position.x), static_cast<std::uint16_t>(position.y), rgb});
  maxX_ = std::max(maxX_, position.x);
  maxY_ = std::max(maxY_, position.y);
}

int MapPicture::CellSize() const {
  const int side = std::max(maxX_, maxY_) + 1;
  if (side <= 0) return 1;
  return std::clamp(kMapTargetPixels / side, 1, 16);
}

MapPicture::Layout MapPicture::PictureLayout() const {
  Layout l;
  l.cell = CellSize();
  l.map_left = kLabelBand + kMargin;
  l.map_top = kLabelBand + kMargin;
  l.key_left = l.map_left + (maxX_ + 1) * l.cell + kMargin;
  l.key_bottom = l.map_top + kKeySize - 1;
  return l;
}

Raster MapPicture::Draw() const {
  const Layout l = PictureLayout();
  const int cell = l.cell;
  const int map_w = (maxX_ + 1) * cell, map_h = (maxY_ + 1) * cell;
  Raster r;
  r.width = l.key_left + kKeySize + kMargin;
  r.height = l.map_top + std::max(map_h, kKeySize + kLabelBand) + kMargin;
  r.rgb.assign(3 * static_cast<std::size_t>(r.width) * r.height, 255);
  for (const Point& p : points_)
    for (int dy = 0; dy < cell; ++dy)
      for (int dx = 0; dx < cell; ++dx)
        Fill(r, l.map_left + p.x * cell + dx, l.map_top + p.y * cell + dy, p.rgb);

  // Scan axes: x along the top edge to the right, y down the left edge,
  // each an arrow from position 0 with its name.
  const int arrow = std::min(std::max(map_w, map_h), 60);
  const int ax = l.map_left, ay = l.map_top - 4;
  for (int i = 0; i < std::min(map_w, arrow); ++i) Fill(r, ax + i, ay, kInk);
  for (int k = 1; k <= 2; ++k)
    Fill(r, ax + std::min(map_w, arrow) - 1 - k, ay - k, kInk),
        Fill(r, ax + std::min(map_w, arrow) - 1 - k, ay + k, kInk);
  DrawText(r, ax + std::min(map_w, arrow) + 3, ay - 3, "x");
  const int bx = l.map_left - 4, by = l.map_top;
  for (int j = 0; j < std::min(map_h, arrow); ++j) Fill(r, bx, by + j, kInk);
  for (int k = 1; k <= 2; ++k)
    Fill(r, bx - k, by + std::min(map_h, arrow) - 1 - k, kInk),
        Fill(r, bx + k, by + std::min(map_h, arrow) - 1 - k, kInk);
  DrawText(r, bx - 8, by + std::min(map_h, arrow) - kGlyphHeight, "y");
  DrawText(r, l.map_left + std::min(map_w, arrow) + 14, 2,
           "1 scan step = " + std::to_string(cell) + " px");

  // The key: the standard triangle, u to the right and v upwards from its red corner.
  const int left = l.key_left, bottom = l.key_bottom;
  const float extent = KeyExtent(frame_.laue);
  int green_i = 0, blue_i = 0,
      blue_j = -1;  // the triangle's right end on its base, its highest pixel
  for (int j = 0; j < kKeySize; ++j) {
    for (int i = 0; i < kKeySize; ++i) {
      const float u = (static_cast<float>(i) + 0.5f) / kKeySize * extent;
      const float v = (static_cast<float>(j) + 0.5f) / kKeySize * extent;
      if (const auto d = KeyDirection(frame_, u, v)) {
        Fill(r, left + i, bottom - j, IpfColour(frame_, *d));
        if (j == 0) green_i = std::max(green_i, i);
        if (j > blue_j) blue_j = j, blue_i = i;
      }
    }
  }
  const auto names = CornerNames(frame_.laue);
  DrawText(r, left, bottom + 4, names[0]);
  DrawText(r, std::min(left + green_i - TextWidth(names[1]) + 1, r.width - TextWidth(names[1]) - 1),
           bottom + 4, names[1]);
  if (blue_j >= 0)
    DrawText(r,
             std::min(left + blue_i - TextWidth(names[2]) / 2, r.width - TextWidth(names[2]) - 1),
             bottom - blue_j - kGlyphHeight - 4, names[2]);
  return r;
}

std::string MapPictureName(const std::string& input_name) {
  std::string name;
  if (input_name.size() >= 4) name.assign(input_name.begin(), input_name.end() - 4);
  name.append("_tv2.png");
  return name;
}

void WritePng(const Raster& raster, const std::filesystem::path& path, const std::string& name,
              const std::string& software) {
  std::string error;
  const std::vector<std::uint8_t> bytes = common::encode_png(
      raster.rgb.data(), raster.width, raster.height, 8, common::PngColour::rgb, error, software);
  if (bytes.empty()) StopWithLine("Error: Cannot write " + name + ": " + error + ".");
  if (const auto reason = common::write_file_whole(path.string(), bytes.data(), bytes.size()))
    StopWithLine("Error: Cannot write " + name + ": " + *reason + ".");
}

}  // namespace talvor
