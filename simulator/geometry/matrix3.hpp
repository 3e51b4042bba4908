// 3x3 helpers of the simulator: determinant, inverse with a
// singularity tolerance, Bunge orientation matrix. Matrices are common::Mat3
// (nine floats column by column, 1-based accessor m(r, c)).
// SPDX-License-Identifier: BSD-3-Clause
#pragma once

#include "common/mat3.hpp"

namespace velmorant {

// M(1,2)·M(2,3)·M(3,1) + M(1,1)·M(2,2)·M(3,3) + M(2,1)·M(3,2)·M(1,3)
// − M(3,1)·M(2,2)·M(1,3) − M(3,3)·M(1,2)·M(2,1) − M(1,1)·M(2,3)·M(3,2),
// evaluated left to right in single precision exactly as written
// (common::kSimulatorTerms).
float determinant3(const common::Mat3& m);

// Inverse by the transposed cofactor matrix divided by det. Returns true on
// success; false (and `inverse` left untouched) when |det| < tolerance.
bool invert3(const common::Mat3& m, float tolerance, common::Mat3& inverse);

// Orientation matrix g of the Bunge angles (radians), rotations z, x', z''.
// Maps sample-frame vectors to crystal-frame vectors; (0,0,0) is the identity.
common::Mat3 bunge_matrix(float phi1, float Phi, float phi2);

}  // namespace velmorant
