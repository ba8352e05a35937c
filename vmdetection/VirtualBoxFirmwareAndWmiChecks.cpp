// The VirtualBox checks that read the raw firmware tables and the WMI
// repository.  Every WMI check runs one query, one reading step and ends with
// reset(), whatever happened, so the next check starts clean.

#include <cwchar>
#include <string>
#include <string_view>

#include "diagnostics/Evidence.h"
#include "win32/ComPtr.h"
#include "vmdetection/CommonChecks.h"
#include "vmdetection/SearchWords.h"
#include "vmdetection/VirtualBoxDetection.h"

namespace Corvane::utils::vmdetection {

using diagnostics::noteEvidence;
using platform::ComPtr;
using platform::win32;
using platform::WMIHelper;

namespace {

// VirtualBox names itself in its BIOS strings ("VirtualBox", "vboxVer_") and
// in the OEM fields of its ACPI tables ("VBOX").
constexpr BytePattern kFirmwarePatterns[] = {{"VirtualBox"}, {"vbox"}, {"VBOX"}};

bool contains(const wchar_t* text, std::wstring_view part) {
    return text && std::wstring_view(text).find(part) != std::wstring_view::npos;
}

// Ends a WMI check: the enumerator and the current row go, the status is cleared.
class QueryScope {
public:
    explicit QueryScope(WMIHelper& wmi) : wmi_(wmi) {}
    ~QueryScope() { wmi_.reset(); }
    QueryScope(const QueryScope&) = delete;
    QueryScope& operator=(const QueryScope&) = delete;

private:
    WMIHelper& wmi_;
};

// One property of a row read with IWbemClassObject::Get, cleared on every way
// out.  The read's result goes to the helper's status, as the row callbacks keep it.
class RowProperty {
public:
    RowProperty(const ComPtr<IWbemClassObject>& row, const wchar_t* name, HRESULT& status) {
        value_.vt = VT_EMPTY;
        status = row->Get(name, 0, &value_, nullptr, nullptr);
        read_ = SUCCEEDED(status);
    }
    ~RowProperty() {
        if (read_) win32().VariantClear(&value_);
    }
    RowProperty(const RowProperty&) = delete;
    RowProperty& operator=(const RowProperty&) = delete;

    const wchar_t* text() const { return read_ ? wmiTextOf(value_) : nullptr; }
    const VARIANT& value() const { return value_; }
    bool read() const { return read_; }

private:
    VARIANT value_;
    bool read_ = false;
};

// What a matcher makes of one row: go on to the next, or stop on a sign.
enum class RowVerdict { Next, Hit };
using RowMatcher = std::function<RowVerdict(const ComPtr<IWbemClassObject>& row, HRESULT& status, VARIANT& value)>;

// Hands every row of the query's result to the matcher until one is a hit:
// the first row through fetchFirstResult and getProperty, the rest through
// forEachProperty.  A read of the first row that fails inside the matcher
// does not end the walk, just as it does not between the rows forEachProperty
// visits.  True when a row was a hit.
bool examineEveryRow(WMIHelper& wmi, const wchar_t* property, const RowMatcher& matcher) {
    if (FAILED(wmi.fetchFirstResult())) return false;
    bool hit = false;
    const auto judge = [&](const ComPtr<IWbemClassObject>& row, HRESULT& status, VARIANT& value) {
        hit = matcher(row, status, value) == RowVerdict::Hit;
        return hit;
    };
    wmi.getProperty(property, [&judge](const ComPtr<IWbemClassObject>& row, HRESULT&, VARIANT& value) {
        HRESULT rowStatus = S_OK;
        return judge(row, rowStatus, value);
    });
    if (hit || FAILED(wmi.getStatus())) return hit;
    wmi.forEachProperty(property, judge);
    return hit;
}

}  // namespace

bool VirtualBoxDetection::checkSmbiosTable() { return smbiosContainsAny(kFirmwarePatterns); }

bool VirtualBoxDetection::checkAcpiTables() { return acpiTablesContainAny(kFirmwarePatterns); }

namespace {

constexpr const wchar_t* kAdapterConfigurationClass = L"Win32_NetworkAdapterConfiguration";
constexpr const wchar_t* kMacAddressProperty = L"MACAddress";
constexpr std::wstring_view kVirtualBoxMacText[] = {L"08:00:27"};  // WMI writes colons

}  // namespace

bool VirtualBoxDetection::checkWmiMacAddresses() {
    if (!wmi) return false;
    QueryScope query(*wmi);
    bool found = false;
    wmi->executeQuery(kMacAddressProperty, kAdapterConfigurationClass, L"");
    // The first row becomes the current row and is not matched; the walk
    // starts with the second adapter configuration.
    wmi->fetchFirstResult();
    if (FAILED(wmi->getStatus())) return false;
    wmi->forEachProperty(kMacAddressProperty, [&found](VARIANT& value) {
        const wchar_t* text = wmiTextOf(value);
        if (contains(text, kVirtualBoxMacText[0])) {
            found = true;
            noteWmiHit(kAdapterConfigurationClass, kMacAddressProperty, text);
        }
        return found;
    });
    return found;
}

namespace {

// The System log lists the drivers that write to it among its sources; the
// VirtualBox display drivers of the various Windows generations do.
constexpr const wchar_t* kEventLogClass = L"Win32_NTEventlogFile";
constexpr const wchar_t* kEventLogProperties = L"LogfileName, Sources";
constexpr const wchar_t* kSystemLogCondition = L"LogfileName = 'System'";
constexpr const wchar_t* kLogfileNameProperty = L"LogfileName";
constexpr const wchar_t* kSourcesProperty = L"Sources";
constexpr const wchar_t* kSystemLogName[] = {L"System"};
constexpr const wchar_t* kVirtualBoxEventSources[] = {L"vboxvideo", L"VBoxVideoW8", L"VBoxWddm"};

// Whether one of the event sources of a locked array of strings is a
// VirtualBox driver; notes the source it found.
bool anyVirtualBoxSource(SAFEARRAY* sources) {
    const auto& api = win32();
    LONG lower = 0;
    LONG upper = -1;
    if (FAILED(api.SafeArrayGetLBound(sources, 1, &lower)) || FAILED(api.SafeArrayGetUBound(sources, 1, &upper))) {
        return false;
    }
    for (LONG index = lower; index <= upper; ++index) {
        BSTR source = nullptr;
        if (FAILED(api.SafeArrayGetElement(sources, &index, &source))) continue;
        const wchar_t* text = source ? source : L"";
        bool isVirtualBoxDriver = false;
        for (const wchar_t* driver : kVirtualBoxEventSources) {
            if (_wcsicmp(text, driver) == 0) {
                isVirtualBoxDriver = true;
                break;
            }
        }
        if (isVirtualBoxDriver) noteWmiHit(kEventLogClass, kSourcesProperty, text);
        api.SysFreeString(source);
        if (isVirtualBoxDriver) return true;
    }
    return false;
}

}  // namespace

bool VirtualBoxDetection::checkEventLogSources() {
    if (!wmi) return false;
    QueryScope query(*wmi);
    const RowMatcher matcher = [](const ComPtr<IWbemClassObject>& row, HRESULT& status, VARIANT& logfileName) {
        const wchar_t* name = wmiTextOf(logfileName);
        if (!name || win32().StrCmpIW(name, kSystemLogName[0]) != 0) return RowVerdict::Next;

        RowProperty sources(row, kSourcesProperty, status);
        if (!sources.read() || sources.value().vt != (VT_ARRAY | VT_BSTR)) return RowVerdict::Next;
        void* elements = nullptr;
        if (FAILED(win32().SafeArrayAccessData(sources.value().parray, &elements))) return RowVerdict::Next;
        const bool found = anyVirtualBoxSource(sources.value().parray);
        win32().SafeArrayUnaccessData(sources.value().parray);
        return found ? RowVerdict::Hit : RowVerdict::Next;
    };
    // Only the System log is asked for, so the row that matters is the first
    // one: it is examined as the current row before the walk over any others.
    wmi->executeQuery(kEventLogProperties, kEventLogClass, kSystemLogCondition);
    return examineEveryRow(*wmi, kLogfileNameProperty, matcher);
}

namespace {

// Names of the Intel chipset parts VirtualBox emulates: the ICH6 (82801FB),
// the 440FX host bridge (82441FX), the PIIX3 (82371SB) and the OHCI USB controller.
constexpr const wchar_t* kPnpEntityClass = L"Win32_PnPEntity";
constexpr const wchar_t* kNameProperty = L"Name";
constexpr std::wstring_view kEmulatedChipsetParts[] = {L"82801FB", L"82441FX", L"82371SB", L"OpenHCD"};
constexpr int kChipsetEntitiesNeeded = 3;

}  // namespace

bool VirtualBoxDetection::checkWmiPnpEntities() {
    if (!wmi) return false;
    QueryScope query(*wmi);
    int matchingEntities = 0;
    wmi->executeQuery(kNameProperty, kPnpEntityClass, L"");
    // The first entity becomes the current row and is not counted.
    wmi->fetchFirstResult();
    if (FAILED(wmi->getStatus())) return false;
    wmi->forEachProperty(kNameProperty, [&matchingEntities](VARIANT& value) {
        const wchar_t* text = wmiTextOf(value);
        for (std::wstring_view part : kEmulatedChipsetParts) {
            if (contains(text, part)) {
                ++matchingEntities;  // once per entity
                if (matchingEntities == kChipsetEntitiesNeeded) noteWmiHit(kPnpEntityClass, kNameProperty, text);
                break;
            }
        }
        return false;  // every entity is counted
    });
    return matchingEntities >= kChipsetEntitiesNeeded;
}

namespace {

// The VirtualBox Guest device: vendor 80EE (InnoTek), device CAFE.  Windows
// lists it among the Plug and Play entities whether or not the Guest
// Additions drive it.  Every entity is examined rather than a LIKE condition
// picking it out: the pattern language of LIKE ("_" matches any character,
// the backslash is doubled) is not one every WMI provider shares, and the
// provider enumerates every device for a condition all the same.
constexpr const wchar_t* kDeviceIdProperty = L"DeviceID";
constexpr std::wstring_view kGuestDeviceId[] = {L"PCI\\VEN_80EE&DEV_CAFE"};

}  // namespace

bool VirtualBoxDetection::checkWmiPciDeviceId() {
    if (!wmi) return false;
    QueryScope query(*wmi);
    const RowMatcher matcher = [](const ComPtr<IWbemClassObject>&, HRESULT&, VARIANT& value) {
        const wchar_t* text = wmiTextOf(value);
        if (!contains(text, kGuestDeviceId[0])) return RowVerdict::Next;
        noteWmiHit(kPnpEntityClass, kDeviceIdProperty, text);
        return RowVerdict::Hit;
    };
    wmi->executeQuery(kDeviceIdProperty, kPnpEntityClass, L"");
    return examineEveryRow(*wmi, kDeviceIdProperty, matcher);
}

namespace {

// A VirtualBox guest has exactly these three buses; real machines have more.
constexpr const wchar_t* kBusClass = L"Win32_Bus";
constexpr std::wstring_view kVirtualBoxBuses[] = {L"ACPIBus_BUS_0", L"PCI_BUS_0", L"PNP_BUS_0"};
constexpr int kVirtualBoxBusCount = 3;

}  // namespace

bool VirtualBoxDetection::checkWmiBuses() {
    if (!wmi) return false;
    QueryScope query(*wmi);
    int rows = 0;
    int namedBuses = 0;
    wmi->executeQuery(L"", kBusClass, L"");
    wmi->forEachResult([&rows, &namedBuses](const ComPtr<IWbemClassObject>& row, ULONG returned, HRESULT& status) {
        if (returned == 0) return true;
        ++rows;
        RowProperty name(row, kNameProperty, status);
        for (std::wstring_view bus : kVirtualBoxBuses) {
            if (contains(name.text(), bus)) {
                ++namedBuses;
                break;
            }
        }
        return false;
    });
    const bool found = rows == kVirtualBoxBusCount && namedBuses == kVirtualBoxBusCount;
    if (found) noteWmiHit(kBusClass, kNameProperty, L"ACPIBus_BUS_0, PCI_BUS_0, PNP_BUS_0 and no other bus");
    return found;
}

namespace {

constexpr const wchar_t* kBaseBoardClass = L"Win32_BaseBoard";
constexpr const wchar_t* kProductProperty = L"Product";
constexpr const wchar_t* kManufacturerProperty = L"Manufacturer";
constexpr std::wstring_view kBaseBoardTexts[] = {L"VirtualBox", L"Oracle Corporation"};
constexpr std::wstring_view kVirtualBoxProduct = kBaseBoardTexts[0];
constexpr std::wstring_view kOracle = kBaseBoardTexts[1];

}  // namespace

bool VirtualBoxDetection::checkWmiBaseBoard() {
    if (!wmi) return false;
    QueryScope query(*wmi);
    bool found = false;
    wmi->executeQuery(L"", kBaseBoardClass, L"");
    wmi->forEachResult([&found](const ComPtr<IWbemClassObject>& row, ULONG returned, HRESULT& status) {
        if (returned == 0) return true;
        {
            RowProperty product(row, kProductProperty, status);
            if (contains(product.text(), kVirtualBoxProduct)) {
                found = true;
                noteWmiHit(kBaseBoardClass, kProductProperty, product.text());
            }
        }
        if (found) return true;
        RowProperty manufacturer(row, kManufacturerProperty, status);
        if (contains(manufacturer.text(), kOracle)) {
            found = true;
            noteWmiHit(kBaseBoardClass, kManufacturerProperty, manufacturer.text());
        }
        return found;
    });
    return found;
}

namespace {

constexpr const wchar_t* kPnpDeviceClass = L"Win32_PnPDevice";

// Properties of a Plug and Play device and the text that names VirtualBox in
// each, in the order they are read.
struct DeviceProbe {
    const wchar_t* property;
    std::wstring_view text;
};
constexpr DeviceProbe kPnpDeviceProbes[] = {
    {L"Name", L"VBOX"},
    {L"Caption", L"VBOX"},
    {L"PNPDeviceID", L"VEN_VBOX"},
};

}  // namespace

bool VirtualBoxDetection::checkWmiPnpDevices() {
    if (!wmi) return false;
    QueryScope query(*wmi);
    bool found = false;
    wmi->executeQuery(L"", kPnpDeviceClass, L"");
    wmi->forEachResult([&found](const ComPtr<IWbemClassObject>& row, ULONG returned, HRESULT& status) {
        if (returned == 0) return true;
        for (const DeviceProbe& probe : kPnpDeviceProbes) {
            RowProperty value(row, probe.property, status);
            if (contains(value.text(), probe.text)) {
                found = true;
                noteWmiHit(kPnpDeviceClass, probe.property, value.text());
                return true;
            }
        }
        return false;
    });
    return found;
}

void virtualBoxFirmwareAndWmiSearchWords(const SearchWordVisitor& visit) {
    visitWords(visit, "VirtualBoxDetection.checkSmbiosTable", kFirmwarePatterns);
    visitWords(visit, "VirtualBoxDetection.checkAcpiTables", kFirmwarePatterns);
    visitWords(visit, "VirtualBoxDetection.checkWmiMacAddresses", kVirtualBoxMacText);
    visitWords(visit, "VirtualBoxDetection.checkEventLogSources", kSystemLogName);
    visitWords(visit, "VirtualBoxDetection.checkEventLogSources", kVirtualBoxEventSources);
    visitWords(visit, "VirtualBoxDetection.checkWmiPnpEntities", kEmulatedChipsetParts);
    visitWords(visit, "VirtualBoxDetection.checkWmiPciDeviceId", kGuestDeviceId);
    visitWords(visit, "VirtualBoxDetection.checkWmiBuses", kVirtualBoxBuses);
    visitWords(visit, "VirtualBoxDetection.checkWmiBaseBoard", kBaseBoardTexts);
    for (const DeviceProbe& probe : kPnpDeviceProbes)
        visit({"VirtualBoxDetection.checkWmiPnpDevices", probe.text, WordMatch::Text});
}

}  // namespace Corvane::utils::vmdetection
