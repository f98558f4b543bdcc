// The scripted HTTP server of tests/net/http_fault_server.py, started on a loopback port for
// the lifetime of the object (POSIX builds; under Wine the tests that need it are skipped).
#pragma once

#include <string>

namespace httptest {

class FaultServer {
public:
    FaultServer();
    ~FaultServer();
    FaultServer(const FaultServer&) = delete;
    FaultServer& operator=(const FaultServer&) = delete;

    // Whether the server is up; false where it cannot run.
    bool running() const { return port_ != 0; }
    // "http://127.0.0.1:PORT/".
    std::string Base() const;

private:
    int pid_ = -1;
    unsigned port_ = 0;
};

// The body the server gives a file of `size` bytes: byte i is (i * 7 + 3) % 251.
std::string ServedPattern(size_t size, size_t from = 0);

}  // namespace httptest
