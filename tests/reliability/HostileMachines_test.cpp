// The library against hostile machines: firmware tables of every awkward
// size and garbage, registry values of every type and size, WMI values of
// every VARIANT type, adapter and process lists from empty to huge, failing
// start-up steps and allocations.  On every one of them the whole library
// (manager, general detector, every check of every product) must not crash,
// must release everything it took, and must give the same answers each time
// it is run on the same machine.
//
//   CORVANE_FUZZ_CASES=100000   how many machines (default below)
//   CORVANE_FUZZ_SEED=1234      run only the machine of this seed (replay)
//   CORVANE_FUZZ_FIRST_SEED=N   seeds N, N+1, ... (default: a fixed start, so CI is repeatable)

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "diagnostics/Evidence.h"
#include "platform/SystemProbes.h"
#include "toolkit/profile/ProfileJson.h"
#include "reliability/HostileMachines.h"
#include "support/SimulatedMachineTest.h"
#include "vmdetection/GeneralDetection.h"
#include "vmdetection/VMDetectionManager.h"

namespace Corvane::testing {
namespace {

using simulated::SimulatedMachine;
using utils::vmdetection::GeneralDetection;
using utils::vmdetection::VMDetectionDefault;
using utils::vmdetection::VMDetectionManager;

constexpr uint64_t kDefaultCases = 2500;
constexpr uint64_t kDefaultFirstSeed = 0xC0A7A11E;
constexpr int kMostFailuresReported = 10;

std::optional<uint64_t> environmentNumber(const char* name) {
    const char* text = std::getenv(name);
    if (!text || !*text) return std::nullopt;
    return std::strtoull(text, nullptr, 0);
}

// The seed being run, for the crash report.
volatile uint64_t g_currentSeed = 0;
volatile bool g_running = false;

LONG WINAPI reportCrashingSeed(EXCEPTION_POINTERS* exception) {
    if (g_running) {
        std::fprintf(stderr, "\nCRASH (exception 0x%08lX) on the hostile machine of seed %llu; replay with CORVANE_FUZZ_SEED=%llu\n",
                     exception->ExceptionRecord->ExceptionCode, static_cast<unsigned long long>(g_currentSeed),
                     static_cast<unsigned long long>(g_currentSeed));
        std::fflush(stderr);
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

// What one run of the library on a machine showed.
struct Outcome {
    std::vector<std::pair<int32_t, std::string>> verdicts;  // of the detections in a row
    std::string answers;                                     // every step and check on its own, "0"/"1"
    bool connectionLostInFirst = false;                      // a failed query dropped the WMI connection
    std::string error;                                       // an exception that left the library
    std::vector<std::string> leaks;
    std::vector<std::string> invalidReleases;
    int comDepthAfter = 0;
};

Outcome runLibrary(const HostileMachine& hostile, bool evidenceWanted) {
    Outcome outcome;
    SimulatedMachine machine(hostile.profile);
    machine.faults() = hostile.faults;
    {
        auto binding = machine.bind();
        platform::forgetWow64Answer();
        std::optional<diagnostics::EvidenceCollector> evidence;
        if (evidenceWanted) evidence.emplace();
        try {
            VMDetectionManager manager;
            const bool connected = manager.getWmi().hasServices();
            for (int i = 0; i < 2; ++i) {
                manager.runDetection();
                outcome.verdicts.emplace_back(manager.resultType(), manager.resultName());
                if (i == 0) outcome.connectionLostInFirst = connected && !manager.getWmi().hasServices();
            }
            auto& general = static_cast<GeneralDetection&>(*manager.getGeneralDetector());
            for (const auto& step : GeneralDetection::steps()) outcome.answers += (general.*step.test)() ? '1' : '0';
            for (const auto& detector : manager.getDetectors()) {
                outcome.answers += '|';
                for (const auto& slot : VMDetectionDefault::checkSlots())
                    outcome.answers += ((*detector).*slot.check)() ? '1' : '0';
            }
        } catch (const std::exception& error) {
            outcome.error = error.what();
        } catch (...) {
            outcome.error = "an exception of unknown type";
        }
        outcome.comDepthAfter = machine.comInitializationDepth();
        platform::forgetWow64Answer();
    }
    outcome.leaks = machine.outstandingResources();
    outcome.invalidReleases = machine.invalidReleases();
    return outcome;
}

std::string join(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& line : lines) text += "\n    " + line;
    return text;
}

// Empty when the machine was handled well; otherwise what went wrong.
std::string judge(const HostileMachine& hostile) {
    // Two detections in a row, as a host may make them; the rerun also wants
    // evidence (the checks' other way out).
    const Outcome plain = runLibrary(hostile, false);
    const Outcome again = runLibrary(hostile, true);
    std::string problems;
    for (const Outcome* outcome : {&plain, &again}) {
        if (!outcome->error.empty()) problems += "\n  an exception left the library: " + outcome->error;
        if (!outcome->leaks.empty()) problems += "\n  left unreleased:" + join(outcome->leaks);
        if (!outcome->invalidReleases.empty()) problems += "\n  released what it did not hold:" + join(outcome->invalidReleases);
        if (outcome->comDepthAfter != 0)
            problems += "\n  COM initialisations left on the thread: " + std::to_string(outcome->comDepthAfter);
    }
    if (plain.verdicts != again.verdicts) problems += "\n  a rerun on the same machine gave other verdicts";
    if (plain.answers != again.answers)
        problems += "\n  a rerun (with evidence wanted) answered differently:\n    " + plain.answers + "\n    " + again.answers;
    // A fault that fires once, or a failed query, which ends the WMI connection
    // for good, may change what the next detection sees; nothing else may.
    if (!hostile.hasOneShotFaults() && !again.connectionLostInFirst && again.verdicts.size() == 2 &&
        again.verdicts[0] != again.verdicts[1])
        problems += "\n  two detections in a row disagree: " + std::to_string(again.verdicts[0].first) + " then " +
                    std::to_string(again.verdicts[1].first);
    return problems;
}

std::vector<profile::MachineProfile> recordedMachines() {
    std::vector<profile::MachineProfile> corpus;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(fixturePath("profiles"))) {
        if (entry.path().extension() != ".json") continue;
        // A profile that does not load is the corpus's own tests' concern, not a hostile machine.
        try {
            corpus.push_back(profile::loadProfileFile(entry.path()));
        } catch (const profile::ProfileError& error) {
            std::printf("not used as a base machine: %s\n", error.what());
        }
    }
    return corpus;
}

TEST(HostileMachines, NoCrashNoLeakAndTheSameAnswersOnEveryRerun) {
    SetUnhandledExceptionFilter(reportCrashingSeed);
    const std::vector<profile::MachineProfile> corpus = recordedMachines();

    const std::optional<uint64_t> replay = environmentNumber("CORVANE_FUZZ_SEED");
    const uint64_t firstSeed = replay ? *replay : environmentNumber("CORVANE_FUZZ_FIRST_SEED").value_or(kDefaultFirstSeed);
    const uint64_t cases = replay ? 1 : environmentNumber("CORVANE_FUZZ_CASES").value_or(kDefaultCases);
    std::printf("hostile machines: %llu case(s), seeds %llu to %llu\n", static_cast<unsigned long long>(cases),
                static_cast<unsigned long long>(firstSeed), static_cast<unsigned long long>(firstSeed + cases - 1));

    const auto started = std::chrono::steady_clock::now();
    int failures = 0;
    g_running = true;
    for (uint64_t seed = firstSeed; seed < firstSeed + cases; ++seed) {
        g_currentSeed = seed;
        const HostileMachine hostile = makeHostileMachine(seed, corpus);
        const std::string problems = judge(hostile);
        if (replay) std::printf("the machine of seed %llu:%s\n", static_cast<unsigned long long>(seed), join(hostile.story).c_str());
        if (problems.empty()) continue;
        ADD_FAILURE() << "the hostile machine of seed " << seed << " (replay with CORVANE_FUZZ_SEED=" << seed << "):"
                      << join(hostile.story) << "\n went wrong:" << problems;
        if (++failures == kMostFailuresReported) {
            std::printf("stopping after %d failing machines\n", failures);
            break;
        }
    }
    g_running = false;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("hostile machines: %llu case(s) in %.1f s\n", static_cast<unsigned long long>(cases), seconds);
}

// The profile's JSON form, or its story where the profile holds what JSON cannot (lone surrogates).
std::string fingerprint(const HostileMachine& machine) {
    try {
        return profile::toJson(machine.profile);
    } catch (const std::exception&) {
        return join(machine.story);
    }
}

// The generator itself: a seed makes the same machine every time, and
// different seeds make different machines (a broken generator would test
// one machine thousands of times).
TEST(HostileMachines, ASeedMakesTheSameMachineAgainAndSeedsDiffer) {
    const std::vector<profile::MachineProfile> corpus = recordedMachines();
    const HostileMachine first = makeHostileMachine(42, corpus);
    const HostileMachine again = makeHostileMachine(42, corpus);
    EXPECT_EQ(fingerprint(first), fingerprint(again));
    EXPECT_EQ(first.story, again.story);

    std::vector<std::string> seen;
    for (uint64_t seed = 1; seed <= 20; ++seed) seen.push_back(fingerprint(makeHostileMachine(seed, corpus)));
    std::sort(seen.begin(), seen.end());
    EXPECT_GE(std::unique(seen.begin(), seen.end()) - seen.begin(), 18);
}

}  // namespace
}  // namespace Corvane::testing
