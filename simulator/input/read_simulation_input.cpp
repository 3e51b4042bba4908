// Implementation follows (interfaces first).
#include "input/read_simulation_input.hpp"
#include "input/input_error.hpp"
