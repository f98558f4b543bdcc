// Throughput of one large download over HTTPS, run by tests/e2e/http_bench.sh: the HTTP
// session's file download against a web server whose certificate the CA file signed.
// Usage: http_bench BASE REMOTE LOCAL CAFILE. Prints one line: name, seconds, MB/s.
#include <windows.h>

#include <chrono>
#include <cstdio>

#include "net/http_session.h"
#include "net/local_file.h"

namespace {

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: http_bench BASE REMOTE LOCAL CAFILE\n");
        return 2;
    }
    HttpTlsOptions tls;
    tls.caFile = argv[4];
    HttpSession session(argv[1], tls);
    const auto start = std::chrono::steady_clock::now();
    const int32_t rc = session.DownloadFile(argv[2], argv[3], nullptr);
    const double took = Seconds(start);
    if (rc != 0) {
        std::printf("session download failed: %d\n", rc);
        return 1;
    }
    const double bytes = static_cast<double>(LocalFileLength(argv[3]));
    std::printf("%-28s %8.2f s %10.1f MB/s\n", "HttpSession::DownloadFile", took, bytes / 1e6 / took);
    DeleteFileA(argv[3]);
    return 0;
}
