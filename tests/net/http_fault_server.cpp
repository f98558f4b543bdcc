#include "tests/net/http_fault_server.h"

#include <cstdio>
#include <cstdlib>

#ifndef _WIN32
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace httptest {

namespace {

constexpr const char kPython[] = "/usr/bin/python3";
constexpr size_t kPatternMul = 7;
constexpr size_t kPatternAdd = 3;
constexpr size_t kPatternMod = 251;

}  // namespace

#ifndef _WIN32

FaultServer::FaultServer() {
    int out[2];
    if (pipe(out) != 0) return;
    const pid_t pid = fork();
    if (pid < 0) {
        close(out[0]);
        close(out[1]);
        return;
    }
    if (pid == 0) {
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        close(out[1]);
        execl(kPython, kPython, KVO_HTTP_FAULT_SERVER, static_cast<char*>(nullptr));
        _exit(127);
    }
    close(out[1]);
    pid_ = pid;
    FILE* line = fdopen(out[0], "r");
    unsigned port = 0;
    if (line != nullptr && std::fscanf(line, "%u", &port) == 1) port_ = port;
    if (line != nullptr) std::fclose(line);
}

FaultServer::~FaultServer() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
}

#else

FaultServer::FaultServer() = default;
FaultServer::~FaultServer() = default;

#endif

std::string FaultServer::Base() const { return "http://127.0.0.1:" + std::to_string(port_) + "/"; }

std::string ServedPattern(size_t size, size_t from) {
    std::string bytes(size - from, '\0');
    for (size_t i = from; i < size; ++i) bytes[i - from] = static_cast<char>((i * kPatternMul + kPatternAdd) % kPatternMod);
    return bytes;
}

}  // namespace httptest
