#pragma once
// The benchmark's baseline: one detection written as plain Win32, COM and WMI
// code, with the library's checks in the library's order and nothing else: no
// seam, no detector classes, no WMI helper, no log calls.  The time the
// library takes beyond this is the cost of its own layers.
//
// Like the library it connects to WMI on its first detection and keeps the
// connection until it is destroyed.

#include <cstdint>

struct IWbemLocator;
struct IWbemServices;

namespace corvane_bench {

struct PlainVerdict {
    int32_t type = 1;       // the library's VM type codes
    const char* name = "";  // "VirtualBox", ...; "" for none
};

class PlainDetection {
public:
    PlainDetection() = default;
    ~PlainDetection();
    PlainDetection(const PlainDetection&) = delete;
    PlainDetection& operator=(const PlainDetection&) = delete;

    PlainVerdict detect();

private:
    void connect();
    void disconnect();
    friend struct PlainChecks;

    bool connectAttempted_ = false;
    bool comHeld_ = false;
    IWbemLocator* locator_ = nullptr;
    IWbemServices* services_ = nullptr;
    int wow64_ = -1;  // -1 not known yet, else 0 or 1
};

}  // namespace corvane_bench
