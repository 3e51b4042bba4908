// Tests of the microscope geometry: wavelengths, cells, zone axes, field.
// SPDX-License-Identifier: BSD-3-Clause
#include "simulator/input_writer/microscope_geometry.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <sstream>
#include <numbers>

#include "simulator/input_writer/input_file_text.hpp"
#include "simulator/input/read_simulation_input.hpp"
#include "simulator/scattering/electron_form_factor.hpp"

namespace velmorant::crystal_file {
namespace {

double dot(const Vec3d& a, const Vec3d& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
double angle(const Vec3d& a, const Vec3d& b) {
  const double c = dot(a, b) / std::sqrt(dot(a, a) * dot(b, b));
  return std::acos(std::fmax(-1.0, std::fmin(1.0, c)));
}

TEST(ElectronWavelength, KnownValuesAndTheProgramsOwnVoltage) {
  const struct {
    double kv, angstrom;
  } cases[] = {{100, 0.03701}, {200, 0.02508}, {300, 0.01969}, {1000, 0.00872}};  // tabulated
  for (const auto& c : cases) {
    const double lambda = electron_wavelength(c.kv);
    EXPECT_NEAR(lambda, c.angstrom, 5e-6) << c.kv;
    // The form factors recover the voltage from the wavelength.
    EXPECT_NEAR(accelerating_voltage_kv(static_cast<float>(lambda)), c.kv, 0.02 + 1e-4 * c.kv)
        << c.kv;
  }
  // Non-relativistic limit at low voltage: λ = 12.2643 / sqrt(V) Å.
  EXPECT_NEAR(electron_wavelength(0.01) * std::sqrt(10.0), 12.2643, 1e-3);
  EXPECT_THROW(electron_wavelength(0), std::invalid_argument);
  EXPECT_THROW(electron_wavelength(-200), std::invalid_argument);
}

TEST(CellRows, LengthsAnglesAndVolume) {
  const struct {
    double a, b, c, alpha, beta, gamma;
  } cases[] = {{5.4309, 5.4309, 5.4309, 90, 90, 90},
               {3.20927, 3.20927, 5.21033, 90, 90, 120},
               {12.214, 3.0371, 5.7981, 90, 103.83, 90},
               {5.0, 6.0, 7.0, 80, 95, 105}};
  for (const auto& c : cases) {
    const CellRows r = cell_rows(c.a, c.b, c.c, c.alpha, c.beta, c.gamma);
    EXPECT_NEAR(std::sqrt(dot(r[0], r[0])), c.a, 1e-12);
    EXPECT_NEAR(std::sqrt(dot(r[1], r[1])), c.b, 1e-12);
    EXPECT_NEAR(std::sqrt(dot(r[2], r[2])), c.c, 1e-12);
    const double deg = 180.0 / std::numbers::pi;
    EXPECT_NEAR(angle(r[1], r[2]) * deg, c.alpha, 1e-9);
    EXPECT_NEAR(angle(r[0], r[2]) * deg, c.beta, 1e-9);
    EXPECT_NEAR(angle(r[0], r[1]) * deg, c.gamma, 1e-9);
    EXPECT_EQ(r[0][1], 0.0);  // a along x, b in the xy plane
    EXPECT_EQ(r[0][2], 0.0);
    EXPECT_EQ(r[1][2], 0.0);
    EXPECT_GT(r[2][2], 0.0);  // right-handed
  }
  // Exact zeros for the cubic cell: the same basis as a hand-written input.
  const CellRows cubic = cell_rows(5.4309, 5.4309, 5.4309, 90, 90, 90);
  EXPECT_EQ(cubic[1][0], 0.0);
  EXPECT_EQ(cubic[2][0], 0.0);
  EXPECT_EQ(cubic[2][1], 0.0);
  EXPECT_THROW(cell_rows(5, 5, 5, 90, 90, 0), SettingsError);
  EXPECT_THROW(cell_rows(5, 5, 5, 120, 120, 120), SettingsError);  // flat
  EXPECT_THROW(cell_rows(0, 5, 5, 90, 90, 90), SettingsError);
}

TEST(ThreeIndexDirection, HexagonalDirections) {
  EXPECT_EQ(three_index_direction(2, -1, -1, 0), (Vec3d{3, 0, 0}));  // along a
  EXPECT_EQ(three_index_direction(-1, 2, -1, 0), (Vec3d{0, 3, 0}));  // along b
  EXPECT_EQ(three_index_direction(0, 0, 0, 1), (Vec3d{0, 0, 1}));    // along c
  EXPECT_EQ(three_index_direction(1, -1, 0, 0), (Vec3d{1, -1, 0}));
}

// The program's orientation matrix computed from the Euler angles as they
// are written into the input file and read back by the reader.
Mat3 orientation_from_written_angles(const CellRows& cell, const EulerDegrees& e) {
  auto in = std::make_unique<SimulationInput>();
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) in->cell_basis(r + 1, c + 1) = static_cast<float>(cell[r][c]);
  in->form_factor_model = 1;
  in->species_count = 1;
  in->atomic_number[0] = 14;
  in->site_count[0] = 1;
  in->site_occupancy[0][0] = 1;
  in->index_limit = 2;
  in->max_beams = 10;
  in->thickness = 1000;
  in->pixel_pitch = 3.9e-5f;
  in->camera_length = 1;
  in->image_directory.assign(1, '.');
  in->image_name = "x.bmp";
  in->wavelength = 0.0250793f;
  in->euler_angles = {static_cast<float>(e.phi1), static_cast<float>(e.Phi),
                      static_cast<float>(e.phi2)};
  in->surface_normal = {0, 0, 1};
  in->image_bits = 8;
  std::istringstream text(input_file_text(*in, {"test", {"Si"}, {}}));
  auto back = std::make_unique<SimulationInput>();
  parse_simulation_input(text, "VelmorantDS.dat", *back);
  derive_simulation_input(*back, ".");
  return back->orientation_matrix;
}

TEST(EulerFromZoneAxis, TheWrittenAnglesPutTheZoneAxisAlongTheBeam) {
  const CellRows cubic = cell_rows(5.4309, 5.4309, 5.4309, 90, 90, 90);
  const CellRows hexagonal = cell_rows(3.20927, 3.20927, 5.21033, 90, 90, 120);
  const CellRows monoclinic = cell_rows(12.214, 3.0371, 5.7981, 90, 103.83, 90);
  const struct {
    const char* what;
    const CellRows* cell;
    Vec3d zone;
    std::optional<Vec3d> reference;
  } cases[] = {
      {"cubic [1 1 0]", &cubic, {1, 1, 0}, std::nullopt},
      {"cubic [1 1 1]", &cubic, {1, 1, 1}, std::nullopt},
      {"cubic [0 0 1]", &cubic, {0, 0, 1}, std::nullopt},
      {"cubic [0 0 1], reference [1 1 0]", &cubic, {0, 0, 1}, Vec3d{1, 1, 0}},
      {"cubic [0 0 -1]", &cubic, {0, 0, -1}, std::nullopt},
      {"cubic [1 1 1], reference [1 -1 0]", &cubic, {1, 1, 1}, Vec3d{1, -1, 0}},
      {"hexagonal [2 -1 -1 0]", &hexagonal, three_index_direction(2, -1, -1, 0), std::nullopt},
      {"hexagonal [2 -1 -1 0], reference [0 0 0 1]", &hexagonal,
       three_index_direction(2, -1, -1, 0), three_index_direction(0, 0, 0, 1)},
      {"hexagonal [0 0 0 1]", &hexagonal, three_index_direction(0, 0, 0, 1), std::nullopt},
      {"monoclinic [0 1 0]", &monoclinic, {0, 1, 0}, std::nullopt},
      {"monoclinic [1 0 2]", &monoclinic, {1, 0, 2}, Vec3d{0, 1, 0}},
  };
  for (const auto& c : cases) {
    const EulerDegrees e = euler_from_zone_axis(*c.cell, c.zone, c.reference);
    const Mat3 g = orientation_from_written_angles(*c.cell, e);
    // Sample z (the beam) and sample x in crystal coordinates: columns 3 and 1 of g.
    const Vec3d beam{g(1, 3), g(2, 3), g(3, 3)};
    const Vec3d x{g(1, 1), g(2, 1), g(3, 1)};
    const Vec3d zone = cartesian_direction(*c.cell, c.zone);
    EXPECT_LT(angle(beam, zone), 1e-5) << c.what;
    // The reference lies in the plane of the beam and sample x, on the +x side.
    const Vec3d ref = cartesian_direction(
        *c.cell, c.reference ? *c.reference : default_reference(*c.cell, c.zone));
    const Vec3d y{g(1, 2), g(2, 2), g(3, 2)};
    EXPECT_LT(std::fabs(dot(ref, y)) / std::sqrt(dot(ref, ref)), 1e-5) << c.what;
    EXPECT_GT(dot(ref, x), 0.0) << c.what;
  }
  EXPECT_THROW(euler_from_zone_axis(cubic, {0, 0, 0}, std::nullopt), SettingsError);
  EXPECT_THROW(euler_from_zone_axis(cubic, {1, 1, 1}, Vec3d{2, 2, 2}), SettingsError);
}

TEST(EulerFromZoneAxis, RecoversTheAnglesOfAnOrientation) {
  // Angles away from the degenerate Φ = 0: the zone axis and reference that a
  // given orientation has give back its own angles.
  const CellRows cubic = cell_rows(4.0, 4.0, 4.0, 90, 90, 90);
  const struct {
    double phi1, Phi, phi2;
  } cases[] = {{0, 54.7356, 45}, {30, 70, 15}, {200, 120, 300}, {10, 3, 340}};
  for (const auto& c : cases) {
    const double r = std::numbers::pi / 180.0;
    const double c1 = std::cos(c.phi1 * r), s1 = std::sin(c.phi1 * r), cP = std::cos(c.Phi * r),
                 sP = std::sin(c.Phi * r), c2 = std::cos(c.phi2 * r), s2 = std::sin(c.phi2 * r);
    const Vec3d zone{s2 * sP, c2 * sP, cP};                                   // column 3 of g
    const Vec3d x{c1 * c2 - s1 * s2 * cP, -c1 * s2 - s1 * c2 * cP, s1 * sP};  // column 1 of g
    const EulerDegrees e = euler_from_zone_axis(cubic, {zone[0] / 4, zone[1] / 4, zone[2] / 4},
                                                Vec3d{x[0] / 4, x[1] / 4, x[2] / 4});
    EXPECT_NEAR(e.phi1, c.phi1, 1e-9);
    EXPECT_NEAR(e.Phi, c.Phi, 1e-9);
    EXPECT_NEAR(e.phi2, c.phi2, 1e-9);
  }
}

TEST(PixelScale, SemiAngleReachedAt256PixelsAndBack) {
  for (const double mrad : {1.0, 10.0, 25.0, 200.0}) {
    const double p = pixel_scale_from_semi_angle(mrad);
    EXPECT_NEAR(std::atan(256 * p), mrad * 1e-3, 1e-14) << mrad;
    EXPECT_NEAR(semi_angle_from_pixel_scale(p), mrad, 1e-9) << mrad;
  }
  // The examples' 0.025 / 640 reaches atan(0.01) = 9.99967 mrad.
  EXPECT_NEAR(semi_angle_from_pixel_scale(0.025 / 640.0), 9.99967, 1e-5);
}

}  // namespace
}  // namespace velmorant::crystal_file
