// A fresh process in which 32 threads race to the library's first call.
//
//   reliability_race_child dll DLL LOGFOLDER   through the shipped DLL; logging on, so
//                                             that each construction leaves its line
//   reliability_race_child static              through the library linked in; reports
//                                             how many managers were constructed
//
// Prints "types" and the 32 results of GetVMType, then "constructed N" (static
// only), then the verdict of one DetectVM after the race.

#include <windows.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "api/Exports.h"
#include "bench/ShippedLibrary.h"
#include "vmdetection/VMDetectionManager.h"

namespace {

constexpr int kRacers = 32;

// Every racer waits on one event, so that all make the first call at once.
void race(int32_t (*getType)()) {
    HANDLE go = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::vector<int32_t> types(kRacers, -1);
    std::vector<std::thread> racers;
    for (int i = 0; i < kRacers; ++i) {
        racers.emplace_back([&, i] {
            WaitForSingleObject(go, INFINITE);
            types[i] = getType();
        });
    }
    Sleep(50);  // let every racer reach the wait
    SetEvent(go);
    for (auto& racer : racers) racer.join();
    CloseHandle(go);

    std::printf("types");
    for (int32_t type : types) std::printf(" %d", type);
    std::printf("\n");
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring mode = argc > 1 ? argv[1] : L"";
    if (mode == L"dll" && argc > 3) {
        corvane_bench::ShippedLibrary library(argv[2]);
        library.SetLogFolder(argv[3]);
        race(library.GetVMType);
        library.DetectVM();
        std::printf("verdict %d %s\n", library.GetVMType(), library.GetVMName());
        return 0;
    }
    if (mode == L"static") {
        race(GetVMType);
        std::printf("constructed %d\n", Corvane::utils::vmdetection::VMDetectionManager::constructedCount());
        DetectVM();
        std::printf("verdict %d %s\n", GetVMType(), GetVMName());
        return 0;
    }
    std::fprintf(stderr, "usage: reliability_race_child dll DLL LOGFOLDER | static\n");
    return 2;
}
