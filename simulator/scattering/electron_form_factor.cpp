// Implementation follows (interfaces first).
#include "scattering/electron_form_factor.hpp"
