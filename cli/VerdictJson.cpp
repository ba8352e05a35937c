#include "cli/VerdictJson.h"

#include <nlohmann/json.hpp>

namespace Corvane::cli {

std::string verdictJson(const explain::Verdict& verdict, const std::optional<std::string>& libraryVersion,
                        const std::string& machine) {
    const nlohmann::ordered_json document = {
        {"type", verdict.type},
        {"name", verdict.name},
        {"libraryVersion", libraryVersion ? nlohmann::ordered_json(*libraryVersion) : nlohmann::ordered_json(nullptr)},
        {"machine", machine},
    };
    return document.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

}  // namespace Corvane::cli
