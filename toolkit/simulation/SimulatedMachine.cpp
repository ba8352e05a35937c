#include "toolkit/simulation/SimulatedMachine.h"

#include <cstdio>
#include <cstdlib>

#include "toolkit/simulation/SimState.h"

namespace Corvane::simulated {
namespace {

SimulatedMachine* g_bound = nullptr;
detail::MachineState* g_boundState = nullptr;

const platform::Win32Api kSimulatedApi = {
    detail::simGetLastError,
    detail::simSetLastError,
    detail::simGetCurrentThreadId,
    detail::simRegOpenKeyExW,
    detail::simRegQueryValueExW,
    detail::simRegCloseKey,
    detail::simGetWindowsDirectoryW,
    detail::simExpandEnvironmentStringsW,
    detail::simSHGetSpecialFolderPathW,
    detail::simPathCombineW,
    detail::simCreateFileW,
    detail::simCloseHandle,
    detail::simGetFileInformationByHandle,
    detail::simWow64DisableWow64FsRedirection,
    detail::simWow64RevertWow64FsRedirection,
    detail::simCreateToolhelp32Snapshot,
    detail::simProcess32FirstW,
    detail::simProcess32NextW,
    detail::simGetProcessHeap,
    detail::simHeapAlloc,
    detail::simHeapFree,
    detail::simLocalAlloc,
    detail::simLocalFree,
    detail::simGlobalMemoryStatusEx,
    detail::simLoadLibraryA,
    detail::simLoadLibraryExW,
    detail::simGetProcAddress,
    detail::simFreeLibrary,
    detail::simGetModuleHandleW,
    detail::simGetCurrentProcess,
    detail::simBoundGetAdaptersInfo,
    detail::simBoundWNetGetProviderNameW,
    detail::simFindWindowW,
    detail::simBoundGetPwrCapabilities,
    detail::simSetupDiGetClassDevsW,
    detail::simSetupDiEnumDeviceInfo,
    detail::simSetupDiGetDeviceRegistryPropertyW,
    detail::simSetupDiDestroyDeviceInfoList,
    detail::simCoInitializeEx,
    detail::simCoInitializeSecurity,
    detail::simCoCreateInstance,
    detail::simCoSetProxyBlanket,
    detail::simCoUninitialize,
    detail::simSysAllocString,
    detail::simSysFreeString,
    detail::simVariantClear,
    detail::simSafeArrayAccessData,
    detail::simSafeArrayUnaccessData,
    detail::simSafeArrayGetLBound,
    detail::simSafeArrayGetUBound,
    detail::simSafeArrayGetElement,
    detail::simStrStrIW,
    detail::simStrCmpIW,
    detail::simWideCharToMultiByte,
    detail::simMultiByteToWideChar,
    detail::simGetFullPathNameW,
    detail::simGetFileAttributesW,
    detail::simCreateDirectoryW,
    detail::simGetTickCount64,
    detail::simSleep,
};

}  // namespace

struct SimulatedMachine::State : detail::MachineState {
    using MachineState::MachineState;
};

SimulatedMachine::SimulatedMachine(profile::MachineProfile profile)
    : state_(std::make_unique<State>(std::move(profile))) {}

SimulatedMachine::~SimulatedMachine() {
    if (g_bound == this) {
        // A binding outlived its machine: leave the seam pointing at nothing
        // rather than at freed state.
        std::fputs("SimulatedMachine destroyed while still bound\n", stderr);
        g_bound = nullptr;
        g_boundState = nullptr;
    }
}

const platform::Win32Api& SimulatedMachine::api() const { return kSimulatedApi; }

SimulatedMachine::Binding::Binding(SimulatedMachine& machine) : previous_(g_bound), seam_(machine.api()) {
    g_bound = &machine;
    g_boundState = machine.state_.get();
}

SimulatedMachine::Binding::~Binding() {
    g_bound = previous_;
    g_boundState = previous_ ? previous_->state_.get() : nullptr;
}

std::unique_ptr<SimulatedMachine::Binding> SimulatedMachine::bind() { return std::make_unique<Binding>(*this); }

profile::MachineProfile& SimulatedMachine::profile() { return state_->profile; }
const profile::MachineProfile& SimulatedMachine::profile() const { return state_->profile; }
Faults& SimulatedMachine::faults() { return state_->faults; }

std::vector<std::string> SimulatedMachine::outstandingResources() const {
    std::lock_guard lock(state_->mutex);
    const auto& m = *state_;
    std::vector<std::string> out;
    for (const auto& [value, entry] : m.handles) out.push_back(entry.description);
    for (const auto& [block, size] : m.heapBlocks) out.push_back("heap block of " + std::to_string(size) + " bytes");
    for (const auto& [block, size] : m.localBlocks) out.push_back("local block of " + std::to_string(size) + " bytes");
    if (m.kernel32References > 0)
        out.push_back("module Kernel32.dll loaded " + std::to_string(m.kernel32References) +
                      " time(s) without FreeLibrary");
    for (const auto& [bstr, origin] : m.bstrs) out.push_back("BSTR " + origin);
    for (const auto& [array, origin] : m.safeArrays) out.push_back("safe array " + origin);
    for (const auto& [array, locks] : m.arrayLocks)
        if (locks > 0) out.push_back("safe array locked by SafeArrayAccessData " + std::to_string(locks) + " time(s)");
    for (const auto* object : m.comObjects) out.push_back("COM object " + detail::describeComObject(object));
    for (const auto& [thread, state] : m.threads)
        if (!state.redirectionTokens.empty())
            out.push_back("WoW64 file-system redirection left off on thread " + std::to_string(thread));
    return out;
}

std::vector<std::string> SimulatedMachine::invalidReleases() const {
    std::lock_guard lock(state_->mutex);
    return state_->invalidReleases;
}

int SimulatedMachine::comInitializationDepth() const {
    std::lock_guard lock(state_->mutex);
    auto it = state_->threads.find(::GetCurrentThreadId());
    return it == state_->threads.end() ? 0 : it->second.comDepth;
}

const std::vector<Call>& SimulatedMachine::calls() const { return state_->calls; }

size_t SimulatedMachine::countCalls(const std::string& function) const {
    std::lock_guard lock(state_->mutex);
    size_t count = 0;
    for (const auto& call : state_->calls)
        if (call.function == function) ++count;
    return count;
}

void SimulatedMachine::clearCalls() {
    std::lock_guard lock(state_->mutex);
    state_->calls.clear();
}

SimulatedMachine* SimulatedMachine::current() { return g_bound; }

namespace detail {

const platform::Win32Api& simulatedApi() { return kSimulatedApi; }

MachineState::~MachineState() {
    // Objects the code still holds survive the machine, inert, so that a late
    // Release does not touch freed memory (the leak has been reported).
    for (auto* object : comObjects) detachComObject(object);
    for (auto& [block, size] : heapBlocks) std::free(block);
    for (auto& [block, size] : localBlocks) std::free(block);
}

ThreadState& MachineState::thread() { return threads[::GetCurrentThreadId()]; }

uintptr_t MachineState::addHandle(HandleEntry entry) {
    uintptr_t value = nextHandle;
    nextHandle += 4;
    handles.emplace(value, std::move(entry));
    return value;
}

HandleEntry* MachineState::findHandle(uintptr_t value, HandleKind kind) {
    auto it = handles.find(value);
    return it != handles.end() && it->second.kind == kind ? &it->second : nullptr;
}

void MachineState::trackBstr(BSTR value, std::string origin) {
    if (value) bstrs[value] = std::move(origin);
}

MachineState& boundState() {
    if (!g_boundState) {
        std::fputs("A simulated Win32 entry point was called with no SimulatedMachine bound\n", stderr);
        std::abort();
    }
    return *g_boundState;
}

Session::Session(const char* function, std::string argument) : m(boundState()), lock_(m.mutex) {
    m.record(function, std::move(argument));
}

std::string narrowArgument(const wchar_t* text) { return text ? toUtf8(text) : std::string("(null)"); }

std::string hexArgument(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

std::wstring normalizePath(std::wstring path) {
    for (auto& c : path)
        if (c == L'/') c = L'\\';
    std::wstring out;
    for (size_t i = 0; i < path.size(); ++i) {
        // Keep the leading "\\" of device and UNC names; collapse doubles elsewhere.
        if (path[i] == L'\\' && !out.empty() && out.back() == L'\\' && i > 1) continue;
        out.push_back(path[i]);
    }
    while (out.size() > 3 && out.back() == L'\\') out.pop_back();
    return out;
}

}  // namespace detail
}  // namespace Corvane::simulated
