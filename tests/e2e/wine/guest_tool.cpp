// Stands in for a guest tool process inside a dressed Wine prefix.
//
// Copied to a guest tool's executable name (vboxtray.exe, vmtoolsd.exe, ...)
// it stays alive until the prefix's wineserver ends it.  Like the real tools
// it may also serve named pipes and own a top-level window:
//
//   guest_tool.exe [--pipe NAME]... [--window CLASS TITLE]
//
// It prints "ready" once every pipe and the window exist, so that the driver
// script knows when the machine is fully dressed.
#include <windows.h>

#include <cstdio>
#include <list>
#include <string>

namespace {

struct PipeServer {
    std::wstring path;
    HANDLE firstInstanceMade = CreateEventW(nullptr, TRUE, FALSE, nullptr);
};

// A client takes the instance it opens, so a fresh one is made after every
// connection: each later open finds a free instance.
DWORD WINAPI servePipe(void* parameter) {
    auto* server = static_cast<PipeServer*>(parameter);
    for (;;) {
        HANDLE pipe = CreateNamedPipeW(server->path.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_WAIT,
                                       PIPE_UNLIMITED_INSTANCES, 512, 512, 0, nullptr);
        if (pipe == INVALID_HANDLE_VALUE) {
            std::fprintf(stderr, "guest_tool: cannot create %ls (error %lu)\n", server->path.c_str(), GetLastError());
            return 1;
        }
        SetEvent(server->firstInstanceMade);
        ConnectNamedPipe(pipe, nullptr);
        DisconnectNamedPipe(pipe);
        CloseHandle(pipe);
    }
}

HWND createToolWindow(const std::wstring& className, const std::wstring& title) {
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = className.c_str();
    if (!RegisterClassW(&windowClass)) return nullptr;
    return CreateWindowExW(0, className.c_str(), title.c_str(), WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr,
                           windowClass.hInstance, nullptr);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::list<PipeServer> pipes;  // a list: the threads keep pointers to its elements
    std::wstring windowClass, windowTitle;
    for (int i = 1; i < argc; ++i) {
        const std::wstring option = argv[i];
        if (option == L"--pipe" && i + 1 < argc) {
            pipes.push_back({L"\\\\.\\pipe\\" + std::wstring(argv[++i])});
        } else if (option == L"--window" && i + 2 < argc) {
            windowClass = argv[++i];
            windowTitle = argv[++i];
        } else {
            std::fprintf(stderr, "usage: guest_tool [--pipe NAME]... [--window CLASS TITLE]\n");
            return 2;
        }
    }

    for (PipeServer& pipe : pipes) {
        HANDLE thread = CreateThread(nullptr, 0, servePipe, &pipe, 0, nullptr);
        HANDLE waitFor[] = {pipe.firstInstanceMade, thread};
        // The thread ends only when it cannot make the pipe.
        if (!thread || WaitForMultipleObjects(2, waitFor, FALSE, INFINITE) != WAIT_OBJECT_0) return 1;
    }
    if (!windowClass.empty() && !createToolWindow(windowClass, windowTitle)) {
        std::fprintf(stderr, "guest_tool: cannot create window %ls (error %lu)\n", windowClass.c_str(), GetLastError());
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
    return 0;
}
