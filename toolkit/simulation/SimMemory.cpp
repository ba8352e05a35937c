// The process heap, local memory and the memory status.  Blocks are real
// memory, tracked so that a block left unfreed (or freed twice) is reported.
#include <cstdlib>
#include <cstring>

#include "toolkit/simulation/SimState.h"

namespace Corvane::simulated::detail {
namespace {

HANDLE const kProcessHeap = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x00E40000));

// Memory that is not asked to be zeroed is not: code that relies on zeroes it did not ask for shows.
constexpr unsigned char kUninitialisedFill = 0xCD;

void* allocate(SIZE_T size, bool zero) {
    void* block = std::malloc(size ? size : 1);
    if (block) std::memset(block, zero ? 0 : kUninitialisedFill, size);
    return block;
}

}  // namespace

HANDLE WINAPI simGetProcessHeap() {
    Session s("GetProcessHeap");
    return kProcessHeap;
}

LPVOID WINAPI simHeapAlloc(HANDLE heap, DWORD flags, SIZE_T size) {
    Session s("HeapAlloc", std::to_string(size));
    auto& m = s.m;
    int index = m.heapAllocCount++;
    if (heap != kProcessHeap || (m.faults.failHeapAllocAt && *m.faults.failHeapAllocAt == index)) {
        m.setLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    void* block = allocate(size, flags & HEAP_ZERO_MEMORY);
    if (block) m.heapBlocks[block] = size;
    return block;
}

BOOL WINAPI simHeapFree(HANDLE heap, DWORD, LPVOID block) {
    Session s("HeapFree");
    if (!block) return TRUE;
    auto it = s.m.heapBlocks.find(block);
    if (heap != kProcessHeap || it == s.m.heapBlocks.end()) {
        s.m.noteInvalidRelease("HeapFree of a block the heap did not hand out (or freed already)");
        s.m.setLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::free(block);
    s.m.heapBlocks.erase(it);
    return TRUE;
}

HLOCAL WINAPI simLocalAlloc(UINT flags, SIZE_T size) {
    Session s("LocalAlloc", std::to_string(size));
    auto& m = s.m;
    int index = m.localAllocCount++;
    if (m.faults.failLocalAllocAt && *m.faults.failLocalAllocAt == index) {
        m.setLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    void* block = allocate(size, flags & LMEM_ZEROINIT);
    if (block) m.localBlocks[block] = size;
    return block;
}

HLOCAL WINAPI simLocalFree(HLOCAL block) {
    Session s("LocalFree");
    if (!block) return nullptr;
    auto it = s.m.localBlocks.find(block);
    if (it == s.m.localBlocks.end()) {
        s.m.noteInvalidRelease("LocalFree of a block LocalAlloc did not hand out (or freed already)");
        s.m.setLastError(ERROR_INVALID_HANDLE);
        return block;  // failure hands the block back
    }
    std::free(block);
    s.m.localBlocks.erase(it);
    return nullptr;
}

BOOL WINAPI simGlobalMemoryStatusEx(LPMEMORYSTATUSEX status) {
    Session s("GlobalMemoryStatusEx");
    if (!status || status->dwLength != sizeof(MEMORYSTATUSEX)) {
        s.m.setLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const auto& total = s.m.profile.system.totalPhysicalMemory;
    if (!total) {
        s.m.setLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    status->dwMemoryLoad = 35;
    status->ullTotalPhys = *total;
    status->ullAvailPhys = *total / 100 * 65;
    status->ullTotalPageFile = *total + *total / 8;
    status->ullAvailPageFile = status->ullTotalPageFile / 100 * 60;
    status->ullTotalVirtual = 0x7FFFFFFE0000ull;
    status->ullAvailVirtual = 0x7FFFFFFE0000ull - 0x10000000ull;
    status->ullAvailExtendedVirtual = 0;
    return TRUE;
}

}  // namespace Corvane::simulated::detail
