// Implementation follows (interfaces first).
#include "scattering/structure_factor.hpp"
