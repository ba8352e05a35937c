#include "SimulatedMachineTest.h"

namespace Corvane::testing {

std::filesystem::path fixturePath(const std::string& relative) {
    std::string folder = CORVANE_FIXTURES_DIR;
    // Under Wine the build's Unix path is reached through drive Z:; naming the
    // drive keeps the path valid whatever the current directory's drive is.
    if (!folder.empty() && folder[0] == '/') folder = "Z:" + folder;
    return std::filesystem::path(folder) / std::filesystem::path(relative);
}

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

std::vector<std::string> SimulatedMachineTest::callArguments(const std::string& function) {
    std::vector<std::string> arguments;
    for (const auto& call : machine().calls())
        if (call.function == function) arguments.push_back(call.argument);
    return arguments;
}

void SimulatedMachineTest::stop() {
    if (!machine_) return;
    EXPECT_EQ(machine_->outstandingResources(), std::vector<std::string>{}) << "the code left these unreleased";
    EXPECT_EQ(machine_->invalidReleases(), std::vector<std::string>{}) << "the code released things it did not hold";
    binding_.reset();
    machine_.reset();
}

void SimulatedMachineTest::TearDown() { stop(); }

}  // namespace Corvane::testing
