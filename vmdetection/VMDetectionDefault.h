#pragma once
#include <array>
#include <memory>
#include <string>

#include "vmdetection/VMType.h"

// The twenty checks in the order detect() asks them: the one list behind
// checkSlots() and behind the tools' answer to "does this detector have the
// check?" (a class that declares checkX has it).
#define CORVANE_DETECTOR_CHECKS(X) \
    X(checkAdapterDescriptions)    \
    X(checkProcesses)              \
    X(checkLibraryExports)         \
    X(checkMacAddresses)           \
    X(checkWmiMacAddresses)        \
    X(checkRegistryKeys)           \
    X(checkRegistryValues)         \
    X(checkSmbiosTable)            \
    X(checkAcpiTables)             \
    X(checkFiles)                  \
    X(checkDirectories)            \
    X(checkDevices)                \
    X(checkWindows)                \
    X(checkNetworkProviders)       \
    X(checkEventLogSources)        \
    X(checkWmiPnpEntities)         \
    X(checkWmiPciDeviceId)         \
    X(checkWmiBuses)               \
    X(checkWmiBaseBoard)           \
    X(checkWmiPnpDevices)

namespace Corvane::utils::vmdetection {

// Base of every detector: twenty independent checks, each false unless a
// product overrides it, asked in a fixed order by detect().  Each detector
// also states kIdentifier, the name reports, explanations and machine profiles
// know it by ("VirtualBoxDetection.checkFiles"): part of their file formats, so
// it stays as it is when a class is renamed.
class VMDetectionDefault {
public:
    explicit VMDetectionDefault(std::string name);
    virtual ~VMDetectionDefault();

    virtual std::unique_ptr<VMDetectionDefault> clone() const = 0;

    virtual bool checkAdapterDescriptions();
    virtual bool checkProcesses();
    virtual bool checkLibraryExports();
    virtual bool checkMacAddresses();
    virtual bool checkWmiMacAddresses();
    virtual bool checkRegistryKeys();
    virtual bool checkRegistryValues();
    virtual bool checkSmbiosTable();
    virtual bool checkAcpiTables();
    virtual bool checkFiles();
    virtual bool checkDirectories();
    virtual bool checkDevices();
    virtual bool checkWindows();
    virtual bool checkNetworkProviders();
    virtual bool checkEventLogSources();
    virtual bool checkWmiPnpEntities();
    virtual bool checkWmiPciDeviceId();
    virtual bool checkWmiBuses();
    virtual bool checkWmiBaseBoard();
    virtual bool checkWmiPnpDevices();

    // True at the first check, in slot order, that finds a sign.
    virtual bool detect();

    virtual VMType getType() const;
    virtual const std::string& getName() const;

    // The checks in the order detect() asks them.  Tools that explain a
    // verdict walk the same table, so they cannot disagree with detect().
    struct CheckSlot {
        const char* name;
        bool (VMDetectionDefault::*check)();
    };
    static constexpr size_t kCheckCount = 20;
    static const std::array<CheckSlot, kCheckCount>& checkSlots();

private:
    std::string name;
};

}  // namespace Corvane::utils::vmdetection
