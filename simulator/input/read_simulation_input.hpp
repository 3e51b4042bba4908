// Reader of "VelmorantDS.dat", the simulation input file.
#pragma once

#include <filesystem>
#include <istream>
#include <string>

#include "beams/beam_list.hpp"
#include "input/input_error.hpp"
#include "input/simulation_input.hpp"

namespace velmorant {

inline constexpr const char* kInputFileName = "VelmorantDS.dat";

// Reads dir / "VelmorantDS.dat" positionally, fills `in`, derives every
// derived field in the order of derive_simulation_input, reads the X-ray
// coefficients of each species when form_factor_model = 0 (file looked up by
// read_xray_coefficients: working directory, beside the executable, build data
// folder) and ends by select_beams, which fills `beams`.
//
// Throws (see input/input_error.hpp):
//  - InputError      missing/unreadable file, premature end, wrong value type,
//                    species_count > 16, a site_count outside 0..128,
//                    camera_length = 0, surface_normal[3] = 0, an atomic number
//                    above 98 with form_factor_model != 0, and any failure
//                    reading "f0_WaasKirf.dat";
//  - SingularBasis   |det cell_basis| < 2^-23 (no message here; the driver
//                    says on standard error why nothing was computed);
//  - FormFactorStop  a form-factor check failed while the beams were ranked
//                    (e.g. Z = 1 with form_factor_model != 0).
// `in` is fully overwritten; on an exception its content is unspecified.
void read_simulation_input(const std::filesystem::path& dir, SimulationInput& in, BeamList& beams);

// Line numbers (from 1) of the value lines a tool may rewrite to make a new
// input from an old one without touching its captions.
struct InputValueLines {
  int thickness = 0;
  int image_directory = 0;
  int wavelength = 0;
  int euler_angles = 0;
};

// The reading and derivation steps alone, without select_beams (and without
// touching any BeamList): for tests and tools. `source_name` is the name used
// in error messages. `lines`, when given, receives the lines of the values above.
void parse_simulation_input(std::istream& text, const std::string& source_name, SimulationInput& in,
                            InputValueLines* lines = nullptr);
// Derivation steps 1-10 (the X-ray coefficient file is looked
// up with find_xray_coefficient_file(xray_dir) when form_factor_model = 0).
void derive_simulation_input(SimulationInput& in, const std::filesystem::path& xray_dir);

// Potential factor K (Å^-2 per Å of structure factor) of derivation step 10:
// gamma / (pi V) with the relativistic gamma of the wavelength for
// form_factor_model 0, 1 / (pi V) otherwise (V = cell_volume).
float potential_factor(const SimulationInput& in);

}  // namespace velmorant
