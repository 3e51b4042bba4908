// Implementation follows (interfaces first).
#include "scattering/xray_coefficients.hpp"
