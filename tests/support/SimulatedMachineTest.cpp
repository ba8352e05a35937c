#include "SimulatedMachineTest.h"

namespace Corvane::testing {

std::filesystem::path fixturePath(const std::string& relative) {
    std::string folder = CORVANE_FIXTURES_DIR;
    // Under Wine the build's Unix path is reached through drive Z:; naming the
    // drive keeps the path valid whatever the current directory's drive is.
    if (!folder.empty() && folder[0] == '/') folder = "Z:" + folder;
    return std::filesystem::path(folder) / std::filesystem::path(relative);
}

profile::MachineProfile loadFixtureProfile(const std::string& relative) { return profile::loadProfileFile(fixturePath(relative)); }

simulated::SimulatedMachine& SimulatedMachineTest::start() {
    binding_.reset();
    machine_ = std::make_unique<simulated::SimulatedMachine>(profile);
    binding_ = machine_->bind();
    return *machine_;
}

simulated::SimulatedMachine& SimulatedMachineTest::machine() {
    if (!machine_) throw std::logic_error("SimulatedMachineTest::machine() before start()");
    return *machine_;
}

void SimulatedMachineTest::stop() {
    if (!machine_) return;
    auto leaks = machine_->outstandingResources();
    std::string list;
    for (const auto& leak : leaks) list += "\n  " + leak;
    EXPECT_TRUE(leaks.empty()) << "the code left these unreleased:" << list;
    auto invalid = machine_->invalidReleases();
    std::string invalidList;
    for (const auto& entry : invalid) invalidList += "\n  " + entry;
    EXPECT_TRUE(invalid.empty()) << "the code released things it did not hold:" << invalidList;
    binding_.reset();
    machine_.reset();
}

void SimulatedMachineTest::discard() {
    binding_.reset();
    machine_.reset();
}

void SimulatedMachineTest::TearDown() { stop(); }

}  // namespace Corvane::testing
