#pragma once
// Exit status of corvane-vmd, as systemd-detect-virt reports it.

namespace Corvane::cli {

inline constexpr int kExitSuccess = 0;        // capture, survey, --help, --version: done
inline constexpr int kExitRecognised = 0;     // a product was recognised
inline constexpr int kExitNotRecognised = 1;  // none was
inline constexpr int kExitUsage = 2;          // a usage error, or the tool could not run

// 0 for a product's code (2 to 8), 1 for anything else (0 Undefined, 1 None).
inline int exitStatusForType(int type) { return type >= 2 && type <= 8 ? kExitRecognised : kExitNotRecognised; }

}  // namespace Corvane::cli
