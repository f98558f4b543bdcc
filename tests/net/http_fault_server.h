// The scripted HTTP server of tests/net/http_fault_server.py: on POSIX builds started on a
// loopback port for the lifetime of the object; in Windows builds the one the test command
// started on the host for the whole run (its base in KVO_HTTP_FAULT_BASE), its request log
// emptied for each object. Without either the tests that need it are skipped.
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
    bool running() const { return !base_.empty(); }
    // "http://127.0.0.1:PORT/".
    std::string Base() const { return base_; }

private:
    int pid_ = -1;
    std::string base_;
};

// The body the server gives a file of `size` bytes: byte i is (i * 7 + 3) % 251.
std::string ServedPattern(size_t size, size_t from = 0);

}  // namespace httptest
