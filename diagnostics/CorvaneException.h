#pragma once
// The library's own error, a std::runtime_error with a code.  It is declared
// once, in the public header, for hosts and the library alike; inside the
// library it is not imported.
#define CORVANE_VMD_BUILDING
#include "corvane/vmd.h"
