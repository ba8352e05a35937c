#pragma once
// The library's exported functions, declared once for hosts and library alike
// in the public header; here without dllimport, as their definitions.
#define CORVANE_VMD_BUILDING
#include "corvane/vmd.h"
