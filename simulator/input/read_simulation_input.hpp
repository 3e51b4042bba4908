// Reader of "VelmorantDS.dat", the simulation input file.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once

#include <array>
#include <filesystem>
#include <functional>
#include <istream>
#include <ostream>
#include <string>

#include "simulator/beams/beam_list.hpp"
#include "simulator/input/input_error.hpp"
#include "simulator/input/simulation_input.hpp"

namespace velmorant {

inline constexpr const char* kInputFileName = "VelmorantDS.dat";

// Longest predicted reflection search that runs without confirmation, s,
// and the variable that confirms a longer one (VELMORANT_LONG_SEARCH=1).
inline constexpr double kSearchTimeBudget = 60.0;
inline constexpr const char* kLongSearchVariable = "VELMORANT_LONG_SEARCH";

// What a caller can set about reading the input and selecting the beams.
struct ReadOptions {
  bool long_search_confirmed = false;  // run a search however long it is predicted to take
  double search_time_budget = kSearchTimeBudget;  // s
  std::function<void()> poll;  // called often during the beam selection (may throw to stop it)
  // Receives one line per group of reflections of equal strength that the
  // selection kept whole rather than split (null: not reported).
  std::ostream* messages = nullptr;
};

// Lines of the file where values were found (1-based): for the checks made
// after the derivations (unit mistakes, the search-time bound), and for tools
// that rewrite a value line of an input without touching its captions.
struct InputLines {
  std::array<int, 3> cell_row{};  // rows a, b, c of cell_basis
  int index_limit = 0;
  int thickness = 0;
  int pixel_pitch = 0;
  int image_directory = 0;
  int wavelength = 0;
  int camera_length = 0;
  int euler_angles = 0;
};

// Reads dir / "VelmorantDS.dat" positionally, fills `in`, derives every
// derived field in the order of derive_simulation_input, reads the X-ray
// coefficients of each species when form_factor_model = 0 (file looked up by
// read_xray_coefficients: working directory, beside the executable, build data
// folder) and ends by select_beams, which fills `beams`.
//
// Before the beams are selected, the time of the reflection search is
// predicted (beams/select_beams.hpp: its cube law and a measured time per
// structure factor); unless options.long_search_confirmed, a search
// predicted to take longer than options.search_time_budget is refused with
// an InputError that names the line of index_limit, the predicted time and
// the largest index_limit that stays within the budget.
//
// Throws (see input/input_error.hpp and common/file_error.hpp):
//  - common::FileError  the input file or "f0_WaasKirf.dat" cannot be opened
//                    (not_found() when it does not exist);
//  - InputError      premature end, wrong value type,
//                    a reflection search predicted to take too long,
//                    species_count > 16, a site_count outside 0..128,
//                    camera_length = 0, surface_normal[3] = 0, an atomic number
//                    outside the range of the model, a number split by a comma,
//                    the unit-mistake checks of check_plausible_values, and bad
//                    contents of "f0_WaasKirf.dat";
//  - SingularBasis   |det cell_basis| < 2^-23 (no message here; the driver
//                    says on standard error why nothing was computed);
//  - FormFactorStop  a form-factor check failed while the beams were ranked
//                    (a negative displacement u; atomic numbers are checked
//                    when read).
// `in` is fully overwritten; on an exception its content is unspecified.
void read_simulation_input(const std::filesystem::path& dir, SimulationInput& in, BeamList& beams,
                           const ReadOptions& options = {});

// The same for input text already in memory (a file read elsewhere, or one
// composed by a tool): `source_name` names it in messages and `xray_dir` is
// where the X-ray coefficient file is looked up first (model 0). The file
// version above opens dir / "VelmorantDS.dat" and calls this.
void read_simulation_input(std::istream& text, const std::string& source_name,
                           const std::filesystem::path& xray_dir, SimulationInput& in,
                           BeamList& beams, const ReadOptions& options = {});

// The refusal of a long search: throws the InputError read_simulation_input
// throws when the search with in.hkl_limit, at `seconds_per_evaluation` per
// structure factor, is predicted to take longer than `budget_seconds`.
// `source` and `line` locate index_limit in the input file.
void check_search_time(const SimulationInput& in, const std::string& source, int line,
                       double seconds_per_evaluation, double budget_seconds);

// Ranges outside which a value is taken for a unit mistake.
inline constexpr double kMinCellEdge = 0.5;      // Å
inline constexpr double kMaxCellEdge = 1000.0;   // Å
inline constexpr double kMinWavelength = 0.001;  // Å (about 12 MV)
inline constexpr double kMaxWavelength = 0.1;    // Å (about 15 kV)
inline constexpr double kMaxFieldWidth = 0.5;    // rad, full angle across the 512 pixels

// Refuses, with an InputError naming `source`, the line, the value and a
// likely cause: a cell edge outside 0.5..1000 Å, a wavelength outside
// 0.001..0.1 Å, a thickness that is not positive, and a pixel scale that
// makes the field wider than 0.5 rad. read_simulation_input calls it after
// the derivations and before the beams are selected.
void check_plausible_values(const SimulationInput& in, const InputLines& lines,
                            const std::string& source);

// The reader's words for a wavelength (Å) outside 0.001..0.1 Å or not a
// number, and for a thickness (Å) that is not a positive finite number; ""
// when the value is usable. The same rules hold for values that replace
// the file's (fits, Python).
std::string wavelength_problem(float wavelength);
std::string thickness_problem(float thickness);

// The reading and derivation steps alone, without select_beams (and without
// touching any BeamList): for tests and tools. `source_name` is the name used
// in error messages.
// `lines`, when given, receives the lines of the values checked after the
// derivations. Atomic numbers outside the range of the chosen
// form-factor model (1..98 for model 0, 2..98 otherwise) and a number split
// by a comma ("1,500.0") are refused here, naming their line.
void parse_simulation_input(std::istream& text, const std::string& source_name, SimulationInput& in,
                            InputLines* lines = nullptr);
// Derivation steps 1-10 (the X-ray coefficient file is looked
// up with find_xray_coefficient_file(xray_dir) when form_factor_model = 0).
void derive_simulation_input(SimulationInput& in, const std::filesystem::path& xray_dir);

// Potential factor K (Å^-2 per Å of structure factor) of derivation step 10:
// gamma / (pi V) with the relativistic gamma of the wavelength for
// form_factor_model 0, 1 / (pi V) otherwise (V = cell_volume).
float potential_factor(const SimulationInput& in);

}  // namespace velmorant
