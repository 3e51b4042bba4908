// Makes a synthetic experimental pattern: the simulation at another thickness plus noise.
//
//   velmorant_make_experiment THICKNESS NOISE [SEED] [METHOD]
//   velmorant_make_experiment --version
//
// run in a folder with "VelmorantDS.dat": computes the pattern of that input
// with the specimen THICKNESS (Å, along the surface normal) instead of the
// one in the file, scales it to grey levels, adds Gaussian noise of standard
// deviation NOISE grey levels (reproducible from SEED), and writes it as an
// 8-bit BMP image under the name and in the folder of the experimental image
// that the input names. METHOD (default 2) is the sampling method.
// SPDX-License-Identifier: BSD-3-Clause
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "common/version.hpp"
#include "simulator/engine/pattern_computation.hpp"
#include "simulator/image/image_path.hpp"
#include "simulator/image/write_file_whole.hpp"
#include "simulator/image/write_pattern_image.hpp"
#include "simulator/input/read_simulation_input.hpp"
#include "simulator/progress/silent_presentation.hpp"
#include "common/angles.hpp"

namespace {

// Standard normal deviates by the Box-Muller transform from the raw 32-bit
// generator, so that the image is the same with every standard library.
class Gaussian {
public:
  explicit Gaussian(std::uint32_t seed) : gen_(seed) {}
  double next() {
    if (have_spare_) {
      have_spare_ = false;
      return spare_;
    }
    double u1 = (double(gen_()) + 1.0) / 4294967297.0;  // in (0, 1)
    double u2 = double(gen_()) / 4294967296.0;
    double r = std::sqrt(-2.0 * std::log(u1));
    spare_ = r * std::sin(2.0 * common::kPiDouble * u2);
    have_spare_ = true;
    return r * std::cos(2.0 * common::kPiDouble * u2);
  }

private:
  std::mt19937 gen_;
  double spare_ = 0;
  bool have_spare_ = false;
};

}  // namespace

int main(int argc, char** argv) {
  using namespace velmorant;
  if (argc == 2 && std::string(argv[1]) == "--version") {
    std::printf("%s\n", common::program_version("velmorant_make_experiment").c_str());
    return 0;
  }
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s THICKNESS NOISE [SEED] [METHOD]\n       %s --version\n",
                 argv[0], argv[0]);
    return 2;
  }
  const float thickness = std::strtof(argv[1], nullptr);
  const double noise = std::strtod(argv[2], nullptr);
  const auto seed = static_cast<std::uint32_t>(argc > 3 ? std::strtoul(argv[3], nullptr, 10) : 1);
  const int method_number = argc > 4 ? std::atoi(argv[4]) : 2;
  const SamplingMethod method = method_number == 0   ? SamplingMethod::full
                                : method_number == 1 ? SamplingMethod::adaptive
                                                     : SamplingMethod::block;
  try {
    auto in = std::make_unique<SimulationInput>();
    auto beams = std::make_unique<BeamList>();
    read_simulation_input(".", *in, *beams);
    in->thickness = thickness;
    in->effective_thickness = thickness / in->surface_normal[2];

    ProgressState progress;
    SilentPresentation silent;
    RunControl control(progress, silent);
    PatternImage image;
    compute_pattern(*in, *beams, method, control, image);
    scale_to_grey_levels(image);

    Gaussian gauss(seed);
    for (std::size_t k = 0; k < PatternImage::size(); ++k) {
      double v = image.data()[k] + noise * gauss.next();
      image.data()[k] = static_cast<float>(std::fmin(255.0, std::fmax(0.0, v)));
    }
    std::vector<std::uint8_t> bytes(kBmp8FileSize);
    encode_pattern_image(image, 8, bytes.data());
    const std::string path = experimental_image_path(*in);
    write_file_whole(path, bytes.data(), bytes.size(), "the experimental image");
    std::printf("%s: N = %d beams, thickness %g A, noise %g grey levels\n", path.c_str(),
                beams->count, double(thickness), noise);
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "velmorant_make_experiment: %s\n", e.what());
    return 1;
  }
}
