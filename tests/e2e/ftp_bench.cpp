// Throughput of one large download over FTP, run by tests/e2e/ftp_bench.sh: the session's
// file download beside a bare WinINet loop with 1 MiB reads, against the same server.
// Usage: ftp_bench HOST PORT REMOTE LOCAL. Prints one line per way: name, seconds, MB/s.
#include <windows.h>
#include <wininet.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "net/ftp_session.h"

namespace {

constexpr DWORD kBareRead = 1 << 20;

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// FtpOpenFileA + InternetReadFile with 1 MiB reads into a file: the client's own ceiling.
long long BareLoop(const char* host, INTERNET_PORT port, const char* remote, const char* local) {
    // Pre-configured access, no proxy, no bypass list, no flags.
    HINTERNET internet = InternetOpenA("KvoBench", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    // Anonymous login, passive mode, context 0 (no callback).
    HINTERNET connection = InternetConnectA(internet, host, port, "anonymous", "", INTERNET_SERVICE_FTP,
                                            INTERNET_FLAG_PASSIVE, 0);
    HINTERNET file = connection != nullptr
                         ? FtpOpenFileA(connection, remote, GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0)
                         : nullptr;
    long long total = -1;
    FILE* out = std::fopen(local, "wb");
    if (file != nullptr && out != nullptr) {
        std::vector<char> buffer(kBareRead);
        DWORD got = 0;
        total = 0;
        while (InternetReadFile(file, buffer.data(), kBareRead, &got) && got > 0) {
            std::fwrite(buffer.data(), 1, got, out);
            total += got;
        }
    }
    if (out != nullptr) std::fclose(out);
    if (file != nullptr) InternetCloseHandle(file);
    if (connection != nullptr) InternetCloseHandle(connection);
    if (internet != nullptr) InternetCloseHandle(internet);
    return total;
}

void Line(const char* name, double seconds, long long bytes) {
    std::printf("%-28s %8.2f s %10.1f MB/s\n", name, seconds, bytes / 1e6 / seconds);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: ftp_bench HOST PORT REMOTE LOCAL\n");
        return 2;
    }
    const char* host = argv[1];
    const uint16_t port = static_cast<uint16_t>(std::atoi(argv[2]));
    auto start = std::chrono::steady_clock::now();
    const long long bare = BareLoop(host, port, argv[3], argv[4]);
    Line("WinINet loop, 1 MiB reads", Seconds(start), bare);
    DeleteFileA(argv[4]);

    FtpSession session(host, port, "anonymous", "");
    start = std::chrono::steady_clock::now();
    const int32_t rc = session.DownloadFile(argv[3], argv[4], nullptr);
    const double took = Seconds(start);
    if (rc != 0) {
        std::printf("session download failed: %d\n", rc);
        return 1;
    }
    Line("FtpSession::DownloadFile", took, bare);
    DeleteFileA(argv[4]);

    // The engine's path: a partial download, written a 64 KiB read at a time.
    start = std::chrono::steady_clock::now();
    const int32_t continued = session.ContinueFile(argv[3], argv[4], nullptr);
    const double continuedTook = Seconds(start);
    if (continued != 0) {
        std::printf("session partial download failed: %d\n", continued);
        return 1;
    }
    Line("FtpSession::ContinueFile", continuedTook, bare);
    DeleteFileA(argv[4]);
    return 0;
}
