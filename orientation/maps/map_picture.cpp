// The orientation map as a picture: inverse-pole-figure colours per map position and a colour key.
#include "orientation/maps/map_picture.hpp"

#include <algorithm>

#include "common/atomic_file.hpp"
#include "common/png_encode.hpp"
#include "orientation/errors/report_fatal_error.hpp"

namespace talvor {

namespace {

constexpr int kMapTargetPixels = 512;  // longer side of the map part of the picture
constexpr int kKeySize = 192;          // side of the colour key's square, pixels
constexpr int kMargin = 8;             // pixels around and between the parts

void Fill(Raster& r, int x, int y, const Rgb& c) {
  std::uint8_t* p = &r.rgb[3 * (static_cast<std::size_t>(y) * r.width + x)];
  p[0] = c[0];
  p[1] = c[1];
  p[2] = c[2];
}

}  // namespace

void MapPicture::Add(const MapPosition& position, bool solved, const Mat3& g) {
  if (!position.known) return;
  if (position.x < 0 || position.y < 0 || position.x > kMaxMapCoordinate || position.y > kMaxMapCoordinate) {
    ++outside_;
    return;
  }
  const Rgb rgb = solved ? IpfColourOfOrientation(frame_, g) : Rgb{0, 0, 0};
  points_.push_back({static_cast<std::uint16_t>(position.x), static_cast<std::uint16_t>(position.y), rgb});
  maxX_ = std::max(maxX_, position.x);
  maxY_ = std::max(maxY_, position.y);
}

int MapPicture::CellSize() const {
  const int side = std::max(maxX_, maxY_) + 1;
  if (side <= 0) return 1;
  return std::clamp(kMapTargetPixels / side, 1, 16);
}

Raster MapPicture::Draw() const {
  const int cell = CellSize();
  const int map_w = (maxX_ + 1) * cell, map_h = (maxY_ + 1) * cell;
  Raster r;
  r.width = kMargin + map_w + kMargin + kKeySize + kMargin;
  r.height = kMargin + std::max(map_h, kKeySize) + kMargin;
  r.rgb.assign(3 * static_cast<std::size_t>(r.width) * r.height, 255);
  for (const Point& p : points_)
    for (int dy = 0; dy < cell; ++dy)
      for (int dx = 0; dx < cell; ++dx) Fill(r, kMargin + p.x * cell + dx, kMargin + p.y * cell + dy, p.rgb);

  // The key: the standard triangle, u to the right and v upwards from its red corner.
  const int left = kMargin + map_w + kMargin, bottom = kMargin + kKeySize - 1;
  const float extent = KeyExtent(frame_.laue);
  for (int j = 0; j < kKeySize; ++j) {
    for (int i = 0; i < kKeySize; ++i) {
      const float u = (static_cast<float>(i) + 0.5f) / kKeySize * extent;
      const float v = (static_cast<float>(j) + 0.5f) / kKeySize * extent;
      if (const auto d = KeyDirection(frame_, u, v)) Fill(r, left + i, bottom - j, IpfColour(frame_, *d));
    }
  }
  return r;
}

std::string MapPictureName(const std::string& input_name) {
  std::string name;
  if (input_name.size() >= 4) name.assign(input_name.begin(), input_name.end() - 4);
  name.append("_tv2.png");
  return name;
}

void WritePng(const Raster& raster, const std::filesystem::path& path, const std::string& name) {
  std::string error;
  const std::vector<std::uint8_t> bytes = common::encode_png(
      raster.rgb.data(), raster.width, raster.height, 8, common::PngColour::rgb, error);
  if (bytes.empty()) StopWithLine("Error: Cannot write " + name + ": " + error + ".");
  if (const auto reason = common::write_file_whole(path.string(), bytes.data(), bytes.size()))
    StopWithLine("Error: Cannot write " + name + ": " + *reason + ".");
}

}  // namespace talvor
