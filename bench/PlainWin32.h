#pragma once
// How the plain detection reaches Windows.
//
// In the benchmark PLAIN(f) is the Windows function itself: a direct call,
// no table in between.  The plain detection's own test compiles the same
// source with CORVANE_PLAIN_THROUGH_SEAM so that its calls land on a
// simulated machine, where they are compared with the library's calls.

#ifdef CORVANE_PLAIN_THROUGH_SEAM
#include "win32/Win32Api.h"  // the same Windows headers, and the seam
#define PLAIN(function) ::Corvane::platform::win32().function
#else
#include <windows.h>
#include <iphlpapi.h>
#include <oleauto.h>
#include <powrprof.h>
#include <setupapi.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <tlhelp32.h>
#include <wbemcli.h>
#include <winnetwk.h>
#define PLAIN(function) ::function
#endif
