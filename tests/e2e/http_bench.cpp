// Benchmarks of the HTTP session, run by tests/e2e/http_bench.sh:
//   http_bench BASE REMOTE LOCAL CAFILE: one large download over HTTPS from a web server
//     whose certificate the CA file signed; prints name, seconds, MB/s.
//   http_bench files BASE COUNT SIZE DIR CONNECTIONS: the files f0000.bin... as an update run
//     fetches them (planned, each continued into a temporary file beside its target, read
//     back and moved into place) on CONNECTIONS connections; prints connections, seconds,
//     files/s.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "net/http_session.h"
#include "net/local_file.h"

namespace {

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

std::string FileName(unsigned index) {
    char name[32];
    std::snprintf(name, sizeof(name), "f%04u.bin", index);
    return name;
}

int FetchFiles(const char* base, unsigned count, uint64_t size, const std::string& dir, unsigned connections) {
    HttpSession session(base, HttpClientOptions());
    session.SetConnections(connections);
    std::vector<PlannedFetch> plan;
    for (unsigned i = 0; i < count; ++i) plan.push_back(PlannedFetch{FileName(i), dir + "\\" + FileName(i), size});
    const auto start = std::chrono::steady_clock::now();
    session.Plan(plan);
    for (const PlannedFetch& fetch : plan) {
        const std::string partial = CreateTempFileBeside(fetch.besideLocal.c_str());
        const int32_t rc = partial.empty() ? -1 : session.ContinueFile(fetch.remotePath.c_str(), partial.c_str(), nullptr, size);
        std::vector<uint8_t> bytes;
        const bool read = rc == 0 && ReadWholeLocalFile(partial.c_str(), size, bytes);
        if (!read || bytes.size() != size || !MoveFileExA(partial.c_str(), fetch.besideLocal.c_str(), MOVEFILE_REPLACE_EXISTING)) {
            std::printf("fetching %s into %s failed: answer %d, %s, %u bytes, error %lu\n", fetch.remotePath.c_str(),
                        partial.c_str(), rc, read ? "read" : "not read", static_cast<unsigned>(bytes.size()),
                        GetLastError());
            return 1;
        }
    }
    const double took = Seconds(start);
    std::printf("%-28s %8.2f s %10.1f files/s\n", ("files, " + std::to_string(connections) + " connection(s)").c_str(),
                took, count / took);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 7 && std::string(argv[1]) == "files") {
        return FetchFiles(argv[2], static_cast<unsigned>(std::atoi(argv[3])), std::strtoull(argv[4], nullptr, 10),
                          argv[5], static_cast<unsigned>(std::atoi(argv[6])));
    }
    if (argc != 5) {
        std::fprintf(stderr, "usage: http_bench BASE REMOTE LOCAL CAFILE | files BASE COUNT SIZE DIR CONNECTIONS\n");
        return 2;
    }
    HttpClientOptions tls;
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
