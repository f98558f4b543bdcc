// The FTP primitives over WinINet (passive mode, binary transfers).
#include <windows.h>
#include <wininet.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "net/connection_failure.h"
#include "net/ftp_client.h"
#include "platform/platform.h"

namespace {

constexpr const wchar_t kAgent[] = L"KvoUpdater";
constexpr size_t kWideTextCapacity = 1024;
constexpr const char kTypeBinaryCommand[] = "TYPE I";
constexpr const char kSizeCommand[] = "SIZE ";
constexpr const char kSizeAnswerCode[] = "213";
constexpr const char kRestCommand[] = "REST ";
constexpr const char kRestAnswerCode[] = "350";
constexpr DWORD kResponseCapacity = 512;
constexpr DWORD kNoCacheFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE;
constexpr DWORD kOpenFileFlags = FTP_TRANSFER_TYPE_BINARY | kNoCacheFlags;

// Why the WinINet call that just failed on this thread did: its error, and for the extended
// error the FTP server's own answer.
ConnectionFailure LastWinInetFailure() {
    const DWORD error = ::GetLastError();
    std::string answer;
    if (error == ERROR_INTERNET_EXTENDED_ERROR) {
        char response[kResponseCapacity] = {};
        DWORD length = sizeof(response) - 1;
        DWORD code = 0;
        if (::InternetGetLastResponseInfoA(&code, response, &length)) answer.assign(response, length);
        while (!answer.empty() && (answer.back() == '\r' || answer.back() == '\n')) answer.pop_back();
    }
    std::string detail = "WinINet " + std::to_string(error);
    if (!answer.empty()) detail += ": " + answer;
    return ConnectionFailure{CauseOfWinInetError(error, answer), detail};
}

std::wstring Wide(const std::string& text) {
    wchar_t buffer[kWideTextCapacity];
    platform::MultiByteToWide(platform::kCodePageGbk, text.c_str(), buffer, kWideTextCapacity);
    return buffer;
}

// The handles of one connection and of the file open on it. Abort closes them from another
// thread; whoever closes a handle nulls it under the lock, so no handle is closed twice (a
// freed handle value may already name a new object).
struct HandleSet {
    std::mutex lock;
    HINTERNET internet = nullptr;
    HINTERNET connection = nullptr;
    HINTERNET file = nullptr;
    std::atomic<bool> aborted{false};

    // Each handle is taken out under the lock and closed outside it: a close may wait for a
    // read on the handle to return.
    static void CloseTaken(HINTERNET h) {
        if (h != nullptr) ::InternetCloseHandle(h);
    }
    void CloseFile() {
        HINTERNET f;
        {
            std::lock_guard<std::mutex> hold(lock);
            f = file;
            file = nullptr;
        }
        CloseTaken(f);
    }
    void CloseAll() {
        HINTERNET f, c, i;
        {
            std::lock_guard<std::mutex> hold(lock);
            f = file;
            c = connection;
            i = internet;
            file = connection = internet = nullptr;
        }
        CloseTaken(f);
        CloseTaken(c);
        CloseTaken(i);
    }
};

// The local file a request writes its copy of the data to, if any. Wine's WinINet writes
// every FTP download into the user's Internet cache whatever the request's flags say, and
// never files it as an entry (so no cache call can remove it); Windows honours the flags
// and names none. Empty when there is none.
std::wstring CacheCopyPath(HINTERNET file) {
    wchar_t path[MAX_PATH + 1] = {};
    DWORD bytes = sizeof(path);
    if (!::InternetQueryOptionW(file, INTERNET_OPTION_DATAFILE_NAME, path, &bytes)) return std::wstring();
    return path;
}

class WinInetFile : public FtpRemoteFile {
public:
    WinInetFile(std::shared_ptr<HandleSet> handles, HINTERNET file)
        : handles_(std::move(handles)), file_(file), cacheCopy_(CacheCopyPath(file)) {}
    // The copy can only go once the request is closed: it is held open until then.
    ~WinInetFile() override {
        handles_->CloseFile();
        if (!cacheCopy_.empty()) ::DeleteFileW(cacheCopy_.c_str());
    }

    uint32_t AnnouncedSize() override {
        DWORD high = 0;  // files over 4 GiB are not served; the high part is dropped
        const DWORD low = ::FtpGetFileSize(file_, &high);
        return low == INVALID_FILE_SIZE ? 0 : low;
    }

    uint64_t StartsAt() const override { return startsAt_; }
    void SetStartsAt(uint64_t at) { startsAt_ = at; }

    int32_t Read(void* buffer, uint32_t count) override {
        if (handles_->aborted) return -1;
        DWORD got = 0;
        if (!::InternetReadFile(file_, buffer, count, &got)) return -1;
        if (handles_->aborted) return -1;
        return static_cast<int32_t>(got);
    }

private:
    std::shared_ptr<HandleSet> handles_;
    HINTERNET file_;  // read without the lock: Abort only closes it, which ends a blocked read
    std::wstring cacheCopy_;
    uint64_t startsAt_ = 0;
};

class WinInetConnection : public FtpConnection {
public:
    WinInetConnection() : handles_(std::make_shared<HandleSet>()) {}
    ~WinInetConnection() override { handles_->CloseAll(); }

    bool Open(const std::string& host, uint16_t port, const std::string& user, const std::string& password) override {
        // Pre-configured access, no proxy, no bypass list, no flags.
        HINTERNET internet = ::InternetOpenW(kAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
        if (internet == nullptr || !Keep(&handles_->internet, internet)) return false;
        const std::wstring wideHost = Wide(host);
        const std::wstring wideUser = Wide(user);
        const std::wstring widePassword = Wide(password);
        // Passive mode; context 0: no status callback is installed. Abort closes the session
        // handle from another thread, which ends a connect or login that hangs.
        HINTERNET connection = ::InternetConnectW(internet, wideHost.c_str(), port, wideUser.c_str(),
                                                  widePassword.c_str(), INTERNET_SERVICE_FTP, INTERNET_FLAG_PASSIVE, 0);
        if (connection == nullptr) {
            failure_ = LastWinInetFailure();
            return false;
        }
        return Keep(&handles_->connection, connection);
    }

    std::unique_ptr<FtpRemoteFile> OpenFile(const char* remotePath) override {
        HINTERNET connection = Connection();
        if (connection == nullptr) return nullptr;
        // Binary; always from the server (RELOAD) and never into the user's Internet cache
        // (NO_CACHE_WRITE: every download would otherwise leave a copy there); context 0: no
        // status callback is installed.
        HINTERNET file = ::FtpOpenFileA(connection, remotePath, GENERIC_READ, kOpenFileFlags, 0);
        if (file == nullptr) {
            failure_ = LastWinInetFailure();
            return nullptr;
        }
        failure_ = ConnectionFailure();
        {
            std::lock_guard<std::mutex> hold(handles_->lock);
            if (!handles_->aborted.load()) {
                handles_->file = file;
                return std::unique_ptr<FtpRemoteFile>(new WinInetFile(handles_, file));
            }
        }
        ::InternetCloseHandle(file);
        return nullptr;
    }

    std::unique_ptr<FtpRemoteFile> OpenFileFrom(const char* remotePath, uint64_t from) override {
        HINTERNET connection = Connection();
        if (connection == nullptr) return nullptr;
        const bool restarted = from > 0 && RestartAt(connection, from);
        std::unique_ptr<FtpRemoteFile> file = OpenFile(remotePath);
        if (file && restarted) static_cast<WinInetFile*>(file.get())->SetStartsAt(from);
        return file;
    }

    int64_t QuerySize(const char* remotePath) override {
        HINTERNET connection = Connection();
        if (connection == nullptr) return -1;
        const int64_t answered = SizeCommand(connection, remotePath);
        return answered >= 0 ? answered : ListedSize(connection, remotePath);
    }

    void Abort() override {
        handles_->aborted.store(true);
        handles_->CloseAll();
    }

    ConnectionFailure LastFailure() const override { return failure_; }

private:
    // Files a handle just made into the set; closes it instead when the connection was
    // aborted meanwhile (the abort has already closed what was filed).
    bool Keep(HINTERNET* slot, HINTERNET handle) {
        {
            std::lock_guard<std::mutex> hold(handles_->lock);
            if (!handles_->aborted.load()) {
                *slot = handle;
                return true;
            }
        }
        ::InternetCloseHandle(handle);
        return false;
    }

    HINTERNET Connection() {
        std::lock_guard<std::mutex> hold(handles_->lock);
        return handles_->aborted.load() ? nullptr : handles_->connection;
    }

    // TYPE I, then REST `from` (servers resume only in binary mode): true when the server
    // answered 350, so the next transfer begins at that byte.
    static bool RestartAt(HINTERNET connection, uint64_t from) {
        // No response data connection (FALSE), binary, no out handle.
        if (!::FtpCommandA(connection, FALSE, FTP_TRANSFER_TYPE_BINARY, kTypeBinaryCommand, 0, nullptr)) return false;
        const std::string command = std::string(kRestCommand) + std::to_string(from);
        if (!::FtpCommandA(connection, FALSE, FTP_TRANSFER_TYPE_BINARY, command.c_str(), 0, nullptr)) return false;
        char response[kResponseCapacity] = {};
        DWORD length = sizeof(response) - 1;
        DWORD code = 0;
        if (!::InternetGetLastResponseInfoA(&code, response, &length)) return false;
        const char* answer = response;
        while (*answer == '\r' || *answer == '\n' || *answer == ' ') ++answer;
        return std::strncmp(answer, kRestAnswerCode, std::strlen(kRestAnswerCode)) == 0;
    }

    // SIZE, which servers answer only in binary mode. -1 when refused or not understood.
    static int64_t SizeCommand(HINTERNET connection, const char* remotePath) {
        // No response data connection (FALSE), binary, no out handle.
        if (!::FtpCommandA(connection, FALSE, FTP_TRANSFER_TYPE_BINARY, kTypeBinaryCommand, 0, nullptr)) return -1;
        const std::string command = std::string(kSizeCommand) + remotePath;
        if (!::FtpCommandA(connection, FALSE, FTP_TRANSFER_TYPE_BINARY, command.c_str(), 0, nullptr)) return -1;
        char response[kResponseCapacity] = {};
        DWORD length = sizeof(response) - 1;
        DWORD code = 0;
        if (!::InternetGetLastResponseInfoA(&code, response, &length)) return -1;
        const char* at = std::strstr(response, kSizeAnswerCode);
        if (at == nullptr) return -1;
        at += std::strlen(kSizeAnswerCode);
        char* end = nullptr;
        const long long size = std::strtoll(at, &end, 10);
        return end == at || size < 0 ? -1 : size;
    }

    // The size in the server's directory listing.
    static int64_t ListedSize(HINTERNET connection, const char* remotePath) {
        WIN32_FIND_DATAA found = {};
        // Always ask the server and keep the answer out of the cache; context 0.
        HINTERNET find = ::FtpFindFirstFileA(connection, remotePath, &found, kNoCacheFlags, 0);
        if (find == nullptr) return -1;
        ::InternetCloseHandle(find);
        return static_cast<int64_t>(found.nFileSizeLow);
    }

    std::shared_ptr<HandleSet> handles_;
    ConnectionFailure failure_;  // of the last Open or OpenFile, on the thread that made it
};

class WinInetClient : public FtpClient {
public:
    std::unique_ptr<FtpConnection> NewConnection() override {
        return std::unique_ptr<FtpConnection>(new WinInetConnection());
    }
};

}  // namespace

std::shared_ptr<FtpClient> CreateSystemFtpClient() { return std::make_shared<WinInetClient>(); }
