#include "vmdetection/WineDetection.h"

#include "diagnostics/Evidence.h"
#include "win32/Win32Api.h"
#include "vmdetection/CommonChecks.h"
#include "vmdetection/SearchWords.h"

namespace Corvane::utils::vmdetection {

using platform::win32;

WineDetection::WineDetection() : VMDetectionDefault("Wine") {}

std::unique_ptr<VMDetectionDefault> WineDetection::create() { return std::make_unique<WineDetection>(); }

std::unique_ptr<VMDetectionDefault> WineDetection::clone() const { return create(); }

VMType WineDetection::getType() const { return VMType::Wine; }

namespace {

constexpr const wchar_t* kKernel32 = L"kernel32.dll";
constexpr const char* kWineOnlyExport = "wine_get_unix_file_name";  // Wine's kernel32 has it, Windows' has not

}  // namespace

bool WineDetection::checkLibraryExports() {
    // kernel32 is always loaded: look at it without loading anything or
    // touching its reference count, and never call the export.
    HMODULE kernel32 = win32().GetModuleHandleW(kKernel32);
    if (!kernel32) return false;
    if (!win32().GetProcAddress(kernel32, kWineOnlyExport)) return false;
    diagnostics::noteEvidence("export", std::string("kernel32.dll!") + kWineOnlyExport);
    return true;
}

namespace {

// Wine keeps its settings in the user's hive; HKLM\SOFTWARE\Wine does not count.
constexpr const wchar_t* kSettingsKey[] = {L"SOFTWARE\\Wine"};

}  // namespace

bool WineDetection::checkRegistryKeys() { return registryKeyExists(HKEY_CURRENT_USER, kSettingsKey[0]); }

// The export is looked up in a module, never in a text a profile could redact:
// only the key is a search word.
void wineSearchWords(const SearchWordVisitor& visit) {
    visitWords(visit, "WineDetection.checkRegistryKeys", kSettingsKey);
}

}  // namespace Corvane::utils::vmdetection
