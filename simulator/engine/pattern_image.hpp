// PatternImage: the 512 x 512 field of transmitted intensities of one pattern.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once

#include <cstddef>
#include <vector>

namespace velmorant {

// Element (i, j), i and j from 1 to 512, is pixel (i, j): the incident
// direction with tangents ((i - 0.5) - 256) p and ((j - 0.5) - 256) p to the
// optical axis (p = pixel_scale). i varies fastest in storage. The engine
// fills it with transmitted intensities (1 = no loss); the image writer
// rescales it in place to grey levels 0..255.
//
// The 1 MB of floats lives on the heap, so the object itself is small and can
// be a local variable. Copying copies the pixels.
class PatternImage {
public:
  static constexpr int kSize = 512;                                   // pixels per row and column
  static constexpr std::size_t kPixels = std::size_t(kSize) * kSize;  // 262144

  PatternImage() : v_(kPixels, 0.0f) {}

  float& operator()(int i, int j) { return v_[index(i, j)]; }
  float operator()(int i, int j) const { return v_[index(i, j)]; }

  void fill(float value) { v_.assign(kPixels, value); }

  // Storage in file order of the writer: (1,1), (2,1), ..., (512,1), (1,2), ...
  float* data() { return v_.data(); }
  const float* data() const { return v_.data(); }
  static constexpr std::size_t size() { return kPixels; }

  static constexpr std::size_t index(int i, int j) {
    return std::size_t(i - 1) + std::size_t(j - 1) * kSize;
  }

private:
  std::vector<float> v_;
};

}  // namespace velmorant
