#include "diagnostics/Evidence.h"

#include "diagnostics/Logger.h"

namespace Corvane::diagnostics {

void noteEvidenceSlow(std::string_view kind, std::string_view value) {
    if (g_evidenceSink) g_evidenceSink->add({std::string(kind), std::string(value)});
}

void noteEvidenceSlow(std::string_view kind, std::wstring_view value) {
    if (g_evidenceSink) g_evidenceSink->add({std::string(kind), Logger::toUtf8(std::wstring(value))});
}

}  // namespace Corvane::diagnostics
