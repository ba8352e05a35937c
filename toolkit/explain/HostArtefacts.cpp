#include "toolkit/explain/HostArtefacts.h"

#include <algorithm>
#include <cctype>

#include "platform/SystemProbes.h"
#include "toolkit/explain/StudyShares.h"
#include "vmdetection/CommonChecks.h"

namespace Corvane::explain {
namespace {

enum class Match { Contains, StartsWith, Equals };

// One kind of host artefact.  `check` empty: whatever check noted it.
struct HostArtefact {
    std::string_view kind;  // the artefact's kind, as the checks note it
    std::string_view check;
    Match match;
    std::string_view text;  // compared without regard to case
    std::string_view hint;
};

// Adapters are recognised by their description first: it names the product.
constexpr HostArtefact kAdapterDescriptions[] = {
    {"adapter", "", Match::Contains, "Virtual Ethernet Adapter for VMnet",
     "VMware Workstation's host-side adapter (VMnet1 host-only, VMnet8 NAT): on every machine VMware runs on as a "
     "host"},
    {"adapter", "", Match::Contains, "VirtualBox Host-Only",
     "VirtualBox's host-only adapter: on every machine VirtualBox is installed on as a host"},
    {"adapter", "", Match::Contains, "Hyper-V Virtual Ethernet Adapter",
     "a Hyper-V virtual switch adapter, vEthernet (...): on hosts with Hyper-V, WSL2, Docker Desktop or Windows "
     "Sandbox too"},
};

constexpr HostArtefact kArtefacts[] = {
    // Address ranges the products give their host-side adapters.
    {"MAC address", "", Match::StartsWith,
     "00:50:56:C0:00:", "VMware's range for its host-side VMnet adapters: on every machine VMware runs on as a host"},
    {"MAC address", "", Match::StartsWith, "0A:00:27:",
     "VirtualBox's range for its host-only adapters: on every machine VirtualBox is installed on as a host"},
    {"MAC address", "", Match::StartsWith,
     "00:15:5D:", "Hyper-V's range: guests' adapters, and also the host's vEthernet (...) switch adapters"},
    {"hardware ID", "", Match::Contains, "Msft____Virtual_Disk",
     "Microsoft's virtual disk: a Hyper-V guest's disk, and also any VHD or VHDX mounted on a physical machine (a Dev "
     "Drive, an image opened in Explorer)"},
    {"ACPI enumeration", "", Match::Equals, "0 bytes",
     "Wine lists no ACPI tables on any machine, physical ones included; Windows always has some"},
    {"WMI class", "checkSlotCount", Match::Equals, "CIM_Slot",
     "many physical laptops and mini PCs describe no slots in their SMBIOS table"},
    {"WMI class", "checkPhysicalConnectorCount", Match::Equals, "CIM_PhysicalConnector",
     "many physical laptops describe no port connectors in their SMBIOS table"},
    {"file", "", Match::Contains, "\\drivers\\vmx86.sys",
     "the driver of VMware Workstation and Player on the host, not of a guest"},
    {"file", "", Match::Contains, "\\drivers\\vmnetadapter.sys", "the driver of VMware's host-side VMnet adapters"},
    {"file", "", Match::Contains, "\\drivers\\vmnetuserif.sys", "a driver of VMware's host-side networking"},
};

std::string lower(std::string_view text) {
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(), [](unsigned char c) { return std::tolower(c); });
    return result;
}

bool matches(const HostArtefact& rule, std::string_view check, std::string_view kind, std::string_view value) {
    if (rule.kind != kind || (!rule.check.empty() && rule.check != check)) return false;
    const std::string haystack = lower(value);
    const std::string needle = lower(rule.text);
    switch (rule.match) {
        case Match::Contains: return haystack.find(needle) != std::string::npos;
        case Match::StartsWith: return haystack.rfind(needle, 0) == 0;
        case Match::Equals: return haystack == needle;
    }
    return false;
}

template <size_t N>
const HostArtefact* firstRule(const HostArtefact (&rules)[N], std::string_view check, std::string_view kind,
                              std::string_view value) {
    for (const HostArtefact& rule : rules) {
        if (matches(rule, check, kind, value)) return &rule;
    }
    return nullptr;
}

// "; shows on 9.8% of 162,829 physical machines in the firmware-report study" for a
// general step the study measured (the words made with the study's own share); "" for anything else.
std::string studyShare(std::string_view step) {
    for (const StudyShare& share : kStudyShares) {
        if (share.step == step && share.measured != 0) return "; " + std::string(share.sentence);
    }
    return "";
}

}  // namespace

std::string adapterDescriptionFor(std::string_view macAddress) {
    const platform::NetworkAdapterList list = platform::getNetworkAdapters();
    if (!list.usable()) return "";
    for (const IP_ADAPTER_INFO* adapter = list.adapters; adapter; adapter = adapter->Next) {
        if (utils::vmdetection::formatMacAddress(adapter->Address, adapter->AddressLength) == macAddress) {
            return adapter->Description;
        }
    }
    return "";
}

std::string hostArtefactHint(std::string_view check, const Artefact& artefact, std::string_view adapterDescription) {
    if (artefact.kind == "MAC address" && !adapterDescription.empty()) {
        const HostArtefact* rule = firstRule(kAdapterDescriptions, check, "adapter", adapterDescription);
        if (rule) return std::string(adapterDescription) + ": " + std::string(rule->hint);
    }
    const HostArtefact* rule = firstRule(kArtefacts, check, artefact.kind, artefact.value);
    if (!rule) return "";
    // A rule of one check speaks of what that check reads, which the study measured.
    return std::string(rule->hint) + (rule->check.empty() ? "" : studyShare(rule->check));
}

}  // namespace Corvane::explain
