// Implementation follows (interfaces first).
#include "input/diagnostics.hpp"
