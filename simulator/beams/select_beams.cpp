// Implementation follows (interfaces first).
#include "beams/select_beams.hpp"
