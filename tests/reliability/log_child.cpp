// A process whose threads write log entries through the library's log writer
// all at once.
//
//   reliability_log_child FOLDER TAG THREADS ENTRIES [EVENT]
//
// Each thread writes ENTRIES entries with the message
//     "reliability TAG thread T entry N" and the detail logPayload(TAG, T, N)
// after EVENT (a named event another process sets) or at once.  Prints
// "thread T ID" for each thread, ID being its Windows thread identifier.

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "diagnostics/Logger.h"
#include "reliability/LogPayload.h"

int wmain(int argc, wchar_t** argv) {
    if (argc < 5) {
        std::fprintf(stderr, "usage: reliability_log_child FOLDER TAG THREADS ENTRIES [EVENT]\n");
        return 2;
    }
    const std::string tag = Corvane::Logger::toUtf8(argv[2]);
    const int threads = _wtoi(argv[3]);
    const int entries = _wtoi(argv[4]);
    Corvane::Logger::setFolder(argv[1]);

    HANDLE go = argc > 5 ? OpenEventW(SYNCHRONIZE, FALSE, argv[5]) : CreateEventW(nullptr, TRUE, TRUE, nullptr);
    if (!go) {
        std::fprintf(stderr, "reliability_log_child: no event (error %lu)\n", GetLastError());
        return 1;
    }
    std::vector<DWORD> ids(threads, 0);
    std::vector<std::thread> writers;
    for (int t = 0; t < threads; ++t) {
        writers.emplace_back([&, t] {
            ids[t] = GetCurrentThreadId();
            WaitForSingleObject(go, INFINITE);
            for (int n = 0; n < entries; ++n) {
                Corvane::Logger::log(Corvane::testing::logMessage(tag, t, n), Corvane::testing::logPayload(tag, t, n));
            }
        });
    }
    for (auto& writer : writers) writer.join();
    CloseHandle(go);
    for (int t = 0; t < threads; ++t) std::printf("thread %d %lu\n", t, ids[t]);
    return 0;
}
