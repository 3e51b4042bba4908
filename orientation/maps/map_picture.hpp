// The orientation map as a picture: inverse-pole-figure colours per map position and a colour key.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "orientation/maps/ipf_colour.hpp"
#include "orientation/maps/map_position.hpp"

namespace talvor {

// Positions from 0 to this (inclusive) along x and y are drawn.
constexpr std::int32_t kMaxMapCoordinate = 8191;

// An RGB picture, rows top to bottom, three bytes per pixel.
struct Raster {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgb;
  const std::uint8_t* At(int x, int y) const {
    return &rgb[3 * (static_cast<std::size_t>(y) * width + x)];
  }
};

// Collects the coloured points of a run and draws them. Eight bytes per
// point with a position; patterns without one are not kept.
class MapPicture {
public:
  explicit MapPicture(const IpfFrame& frame) : frame_(frame) {}

  // The point of a pattern: its colour along sample z, black when unsolved.
  void Add(const MapPosition& position, bool solved, const Mat3& g);

  long points() const { return static_cast<long>(points_.size()); }
  long outside() const { return outside_; }  // positions beyond 0..kMaxMapCoordinate

  // Where Draw puts the parts, in pixels from the picture's top left corner.
  struct Layout {
    int cell = 1;                      // pixels per map position
    int map_left = 0, map_top = 0;     // the map's top left pixel (position 0, 0)
    int key_left = 0, key_bottom = 0;  // the key square's lower left pixel
  };
  Layout PictureLayout() const;

  // The picture: the map (x to the right, y downwards, each position a
  // square of `cell` pixels, white where no pattern was) with its scan axes
  // labelled, and, to its right, the colour key (the standard triangle in
  // stereographic projection, red corner at its lower left) with its corners
  // labelled by their crystal directions, on a white ground.
  Raster Draw() const;

  // Pixels per map position Draw uses: the map fills about 512 pixels
  // along its longer side (1 to 16 pixels per position).
  int CellSize() const;

private:
  struct Point {
    std::uint16_t x, y;
    Rgb rgb;
  };
  IpfFrame frame_;
  std::vector<Point> points_;
  std::int32_t maxX_ = -1, maxY_ = -1;
  long outside_ = 0;
};

// Writes `raster` as an 8-bit RGB PNG file (common::encode_png) that
// replaces `path` as a whole (common::write_file_whole), with `software`
// (program, version, date) as its Software text. Stops the run with a
// message naming `name` when it cannot be written.
void WritePng(const Raster& raster, const std::filesystem::path& path, const std::string& name,
              const std::string& software);

// "run1.tv2" -> "run1_tv2.png".
std::string MapPictureName(const std::string& input_name);

}  // namespace talvor
