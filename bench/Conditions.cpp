// What a report's numbers depend on: the processor, Wine, the DLL, the date
// and the settings of the run.

#include <windows.h>

#include <ctime>
#include <string>

#include "bench/Bench.h"
#include "bench/ShippedLibrary.h"

namespace corvane_bench {
namespace {

std::string utf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                         nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
    return out;
}

std::string processorName() {
    wchar_t name[256] = {};
    DWORD size = sizeof name;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0", L"ProcessorNameString",
                     RRF_RT_REG_SZ, nullptr, name, &size) != ERROR_SUCCESS)
        return "unknown";
    std::string text = utf8(name);
    const size_t first = text.find_first_not_of(' ');
    return first == std::string::npos ? text : text.substr(first);
}

// Wine's own version, or "none" when this is not Wine.
std::string wineVersion() {
    using WineGetVersion = const char*(CDECL*)();
    auto getVersion = reinterpret_cast<WineGetVersion>(
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version"));
    return getVersion ? getVersion() : "none";
}

std::string utcNow() {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_s(&utc, &now);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

}  // namespace

nlohmann::json describeConditions(const BenchOptions& options) {
    SYSTEM_INFO system{};
    GetNativeSystemInfo(&system);
    return {
        {"label", options.label},
        {"date", utcNow()},
        {"cpu", processorName()},
        {"logicalProcessors", system.dwNumberOfProcessors},
        {"wine", wineVersion()},
        {"dll", utf8(options.dllPath)},
        {"dllBytes", fileSize(options.dllPath)},
        {"settings",
         {{"firstCallRuns", options.firstCallRuns},
          {"steadyPairs", options.steadyPairs},
          {"warmupDetections", options.warmupDetections},
          {"checkRepetitions", options.checkRepetitions}}},
    };
}

}  // namespace corvane_bench
