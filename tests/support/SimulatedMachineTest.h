#pragma once
// Test support for code that runs against a simulated machine.
//
//     class MyCheck : public Corvane::testing::SimulatedMachineTest {};
//     TEST_F(MyCheck, FindsTheKey) {
//         addRegistryKey(profile, L"HKCU", L"SOFTWARE\\Wine");
//         auto& machine = start();             // builds the machine from `profile` and binds it
//         EXPECT_TRUE(detector.checkRegistryKeys());
//     }                                        // TearDown fails the test on leaked keys, handles, ...

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "toolkit/profile/MachineProfile.h"
#include "toolkit/profile/ProfileBuilder.h"
#include "toolkit/profile/ProfileJson.h"
#include "toolkit/simulation/SimulatedMachine.h"

namespace Corvane::testing {

// A file under tests/fixtures.
std::filesystem::path fixturePath(const std::string& relative);

class SimulatedMachineTest : public ::testing::Test {
protected:
    // Builds the machine from `profile` (a copy: later changes to `profile`
    // do not reach it) and binds the Win32 seam to it until the test ends.
    simulated::SimulatedMachine& start();
    simulated::SimulatedMachine& machine();  // after start()
    // The arguments of every call to `function`, in order.
    std::vector<std::string> callArguments(const std::string& function);

    // Ends the binding and destroys the machine, checking for leaks first.
    void stop();

    void TearDown() override;

    profile::MachineProfile profile = profile::physicalMachineWithoutSigns();

private:
    std::unique_ptr<simulated::SimulatedMachine> machine_;
    std::unique_ptr<simulated::SimulatedMachine::Binding> binding_;
};

}  // namespace Corvane::testing
