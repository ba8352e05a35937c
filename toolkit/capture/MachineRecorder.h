#pragma once
// A recording machine: the Win32 seam bound to the operating system's own
// functions, writing down every answer into a machine profile.
//
//     MachineRecorder recorder;
//     {
//         auto binding = recorder.bind();   // win32() now reaches the recorder
//         ... run detector code ...
//     }
//     profile::MachineProfile facts = recorder.takeProfile();
//
// It records what the code asked and the machine's full answer: a registry
// value's whole data (not just the part a 260-byte read gets), every process,
// adapter, disk drive and ACPI table, and for each WMI class queried all its
// rows with all their properties.  A fact never asked is left at the
// profile's default.

#include <memory>

#include "win32/Win32Api.h"
#include "toolkit/profile/MachineProfile.h"

namespace Corvane::capture {

namespace detail {
struct RecordingState;
}

class MachineRecorder {
public:
    // Records the machine behind `inner`: the operating system's own functions
    // unless a test records a simulated machine.
    explicit MachineRecorder(const platform::Win32Api& inner = platform::realWin32());
    ~MachineRecorder();
    MachineRecorder(const MachineRecorder&) = delete;
    MachineRecorder& operator=(const MachineRecorder&) = delete;

    // The recording entry points.
    const platform::Win32Api& api() const;

    // Binds the seam to this recorder while the returned object lives.  One
    // recorder is bound at a time.
    class Binding {
    public:
        explicit Binding(MachineRecorder& recorder);
        ~Binding();
        Binding(const Binding&) = delete;
        Binding& operator=(const Binding&) = delete;

    private:
        detail::RecordingState* previous_;
        platform::ScopedWin32Binding seam_;
    };
    [[nodiscard]] std::unique_ptr<Binding> bind();

    const profile::MachineProfile& profile() const;
    profile::MachineProfile takeProfile();

    // A WMI query failed while recording: the library then drops its
    // connection, so the queries after it were never made on that connection.
    bool wmiConnectionLost() const;
    void clearWmiConnectionLost();

private:
    std::unique_ptr<detail::RecordingState> state_;
};

}  // namespace Corvane::capture
