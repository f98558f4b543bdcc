#include "tests/net/http_fault_server.h"

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "net/http_client.h"

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
constexpr const char kSharedServerVariable[] = "KVO_HTTP_FAULT_BASE";

[[maybe_unused]] std::string BaseOf(unsigned port) { return "http://127.0.0.1:" + std::to_string(port) + "/"; }

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
    if (line != nullptr && std::fscanf(line, "%u", &port) == 1) base_ = BaseOf(port);
    if (line != nullptr) std::fclose(line);
}

FaultServer::~FaultServer() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
}

#else

FaultServer::FaultServer() {
    const char* base = std::getenv(kSharedServerVariable);
    if (base == nullptr || *base == '\0') return;
    // The shared server's request log starts empty for each test, as a fresh server's does.
    std::unique_ptr<FtpConnection> connection = CreateHttpClient(HttpClientOptions())->NewConnection();
    if (!connection || !connection->Open(base, 0, "", "")) return;
    std::unique_ptr<FtpRemoteFile> answer = connection->OpenFile("reset");
    char sink[64];
    while (answer && answer->Read(sink, sizeof(sink)) > 0) {
    }
    if (answer) base_ = base;
}

FaultServer::~FaultServer() = default;

#endif

std::string ServedPattern(size_t size, size_t from) {
    std::string bytes(size - from, '\0');
    for (size_t i = from; i < size; ++i) bytes[i - from] = static_cast<char>((i * kPatternMul + kPatternAdd) % kPatternMod);
    return bytes;
}

}  // namespace httptest
