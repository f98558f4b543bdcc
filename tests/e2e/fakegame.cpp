// fakegame.exe: stands in for the game client in the end-to-end tests. Started, it appends
// its own file name to game_ran.txt in its current directory, then stays for the number of
// seconds given as its argument (0 when none), so a test can keep it running.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    char path[MAX_PATH] = {0};
    // Null module: this executable.
    ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    const char* name = std::strrchr(path, '\\');
    if (FILE* f = std::fopen("game_ran.txt", "ab")) {
        std::fprintf(f, "%s\n", name ? name + 1 : path);
        std::fclose(f);
    }
    if (argc > 1) ::Sleep(static_cast<DWORD>(std::atoi(argv[1])) * 1000);
    return 0;
}
