// parentsim: plays the program that starts the tool and asks it to wait. It writes
// curver.dat holding "WORD HANDLE" with an inheritable handle of its own process, starts
// update.exe (inheriting handles), stays for SECONDS and ends.
//   parentsim.exe WORD SECONDS
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: parentsim WORD SECONDS\n");
        return 2;
    }
    HANDLE self = nullptr;
    // A real, inheritable handle of this process (the pseudo handle cannot be inherited);
    // SYNCHRONIZE is all a waiter needs.
    if (!::DuplicateHandle(::GetCurrentProcess(), ::GetCurrentProcess(), ::GetCurrentProcess(), &self, SYNCHRONIZE,
                           TRUE, 0)) {
        return 1;
    }
    if (FILE* f = std::fopen("curver.dat", "wb")) {
        std::fprintf(f, "%s %llx", argv[1], static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(self)));
        std::fclose(f);
    }
    char commandLine[] = "update.exe";
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    // TRUE: the tool inherits the handle written above; no creation flags, same
    // environment and directory.
    if (!::CreateProcessA(nullptr, commandLine, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        return 1;
    }
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    ::Sleep(static_cast<DWORD>(std::atoi(argv[2])) * 1000);
    return 0;
}
