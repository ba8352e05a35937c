#pragma once
// A simulated Windows machine: the Win32 seam implemented over a machine
// profile.  The log writer's folder is the exception: its full path, status
// and creation reach the host's own disk, where the log is written, so a test
// reads a real file; the calls are recorded all the same.  Time moves only
// when the code sleeps: Sleep advances GetTickCount64 at once.  It follows the documented behaviour the library relies
// on (size queries, ERROR_MORE_DATA, last-error values, handles, COM references) and keeps account of everything it
// hands out, so a test can tell when the code left a handle, key, snapshot, heap block, BSTR or COM reference
// unreleased.
//
// One machine is bound at a time (the seam is process-wide):
//
//     SimulatedMachine machine(profile);
//     auto binding = machine.bind();          // win32() now reaches the machine
//     ... run detector code ...
//     EXPECT_THAT(machine.outstandingResources(), IsEmpty());

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "win32/Win32Api.h"
#include "toolkit/profile/MachineProfile.h"

namespace Corvane::simulated {

// One call that reached the machine, for tests that assert what was (or was
// not) asked: the entry point and its main argument in readable form, e.g.
// {"RegOpenKeyExW", "HKLM\\SOFTWARE\\Wine"}, {"ExecQuery", "SELECT * FROM Win32_Bus"},
// {"GetSystemFirmwareTable", "ACPI 0x54445344"}, {"CreateToolhelp32Snapshot", ""}.
// Registry values read "HKLM\\HARDWARE\\Description\\System [SystemBiosVersion]";
// calls on WMI objects are recorded under their method names ("ConnectServer",
// "ExecQuery", "Next" with the class, "Get" with "Class.Property").
struct Call {
    std::string function;
    std::string argument;  // UTF-8
    // The flags and fixed arguments the call was given, for the calls whose
    // flags matter: RegOpenKeyExW "options=0 access=0x00020019", CreateFileW
    // "access=0x80000000 share=0x00000001 disposition=3 flags=0x00000080",
    // CoInitializeSecurity, CoSetProxyBlanket, ConnectServer, ExecQuery, Next
    // (see each entry point).  Empty for the others.
    std::string flags;
};

// Failures a test can inject beyond what a profile describes.
struct Faults {
    std::optional<int> failHeapAllocAt;       // the n-th HeapAlloc (0-based) returns null
    std::optional<int> failLocalAllocAt;      // the n-th LocalAlloc returns null
    bool failGetAdaptersInfo = false;         // GetAdaptersInfo returns ERROR_NOT_SUPPORTED
    bool firmwareSecondCallFails = false;     // a GetSystemFirmwareTable call with a buffer >= the table fails
    std::vector<std::string> refusedModules;  // LoadLibraryExW of these ("mpr.dll") fails with ERROR_MOD_NOT_FOUND
    std::vector<std::string>
        missingExports;  // exports of those modules ("GetPwrCapabilities") that GetProcAddress does not find
    std::optional<unsigned char> powerAnswer;  // a successful GetPwrCapabilities returns this instead of TRUE
    bool sleepsEndHalfway = false;             // Sleep returns after half the time asked (at least 1 ms)
};

class SimulatedMachine {
public:
    explicit SimulatedMachine(profile::MachineProfile profile);
    ~SimulatedMachine();
    SimulatedMachine(const SimulatedMachine&) = delete;
    SimulatedMachine& operator=(const SimulatedMachine&) = delete;

    // The machine's entry points.
    const platform::Win32Api& api() const;

    // Binds the seam to this machine while the returned object lives.
    class Binding {
    public:
        explicit Binding(SimulatedMachine& machine);
        ~Binding();
        Binding(const Binding&) = delete;
        Binding& operator=(const Binding&) = delete;

    private:
        SimulatedMachine* previous_;
        platform::ScopedWin32Binding seam_;
    };
    [[nodiscard]] std::unique_ptr<Binding> bind();

    profile::MachineProfile& profile();
    const profile::MachineProfile& profile() const;
    Faults& faults();

    // What the code holds that it should have released: open registry keys,
    // file and snapshot handles, device information sets, heap and local
    // blocks, loaded module references, BSTRs, COM references of objects the
    // machine handed out, locked safe arrays, an unreverted WoW64 redirection.
    // Each entry names the resource, e.g. "registry key HKLM\\SOFTWARE\\Wine".
    std::vector<std::string> outstandingResources() const;

    // Releases of things the machine never handed out or that were already
    // released: a second RegCloseKey, HeapFree of a foreign block, FreeLibrary
    // without LoadLibraryA, CoUninitialize without CoInitializeEx, ...
    std::vector<std::string> invalidReleases() const;

    // COM initialisations of the calling thread not yet balanced by CoUninitialize.
    int comInitializationDepth() const;

    // Every call that reached the machine, in order.
    const std::vector<Call>& calls() const;
    size_t countCalls(const std::string& function) const;
    void clearCalls();

    // The machine bound now, or null.
    static SimulatedMachine* current();

private:
    struct State;
    std::unique_ptr<State> state_;
    friend struct State;
};

}  // namespace Corvane::simulated
