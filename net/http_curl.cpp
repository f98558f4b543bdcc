// The HTTP(S) client over libcurl's multi interface: a request is driven from the reading
// thread (a read performs the transfer until bytes are there), so reads pull the body at
// the caller's pace, and an Abort from another thread wakes a blocked wait at once.
#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "net/connection_failure.h"
#include "net/http_client.h"
#include "net/http_url.h"
#include "platform/socket_options.h"
#include "platform/platform.h"

namespace {

constexpr int kMaxRedirects = 5;
constexpr long kConnectTimeoutSeconds = 30;
// libcurl's receive buffer: large reads cost the TLS layer far less per byte than its 16 KiB.
constexpr long kReceiveBufferBytes = 512 * 1024;
constexpr int kPollMs = 1000;
// Bytes a response may hold unread before the transfer is paused until the reader catches up.
constexpr size_t kMaxPending = size_t{4} << 20;
// Under a download limit the line may run ahead of the reader by little more than the
// limit's own schedule: libcurl's buffer and the bytes held unread take a tenth of a
// second's worth each, the socket's receive buffer (the window the server may fill) a
// quarter of a second's, which still carries the rate over a line of that round trip.
constexpr uint64_t kLimitedBufferMs = 100;
constexpr uint64_t kLimitedSocketBufferMs = 250;
constexpr uint64_t kMsPerSecond = 1000;
constexpr uint64_t kMinLimitedBuffer = 4096;
constexpr uint64_t kMinLimitedSocketBuffer = 16384;
// What is read of an answer that is not the file (a redirect's body, its headers): past
// this the answer is given up, so an endless one costs nothing more.
constexpr size_t kMaxAnswerBytes = 64 * 1024;
constexpr const char kUserAgent[] = "update.exe";
constexpr const char kProtocols[] = "http,https";
constexpr const char kHttpsPrefix[] = "https://";
constexpr const char kContentRange[] = "content-range:";
constexpr const char kLocation[] = "location:";
constexpr const char kRangeUnit[] = "bytes";

constexpr long kStatusOk = 200;
constexpr long kStatusPartial = 206;
constexpr long kStatusRangeNotSatisfiable = 416;

bool IsRedirect(long status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// The answers whose body is the file (whole or a part).
bool CarriesTheFile(long status) { return status == kStatusOk || status == kStatusPartial; }

// `value` between its spaces and line end.
std::string HeaderValue(const std::string& line, size_t nameLength) {
    const size_t first = line.find_first_not_of(" \t", nameLength);
    if (first == std::string::npos) return std::string();
    const size_t last = line.find_last_not_of(" \t\r\n");
    return last < first ? std::string() : line.substr(first, last - first + 1);
}

// The address a Location header names, resolved against the request's `url`; "" when it
// names none that libcurl can parse.
std::string ResolveLocation(const std::string& url, const std::string& location) {
    if (location.empty()) return std::string();
    CURLU* handle = curl_url();
    if (handle == nullptr) return std::string();
    std::string resolved;
    // Flags: other schemes are parsed too (the redirect policy refuses them by name); spaces
    // are kept as servers send them.
    const unsigned int flags = CURLU_NON_SUPPORT_SCHEME | CURLU_ALLOW_SPACE;
    if (curl_url_set(handle, CURLUPART_URL, url.c_str(), flags) == CURLUE_OK &&
        curl_url_set(handle, CURLUPART_URL, location.c_str(), flags) == CURLUE_OK) {
        char* text = nullptr;
        if (curl_url_get(handle, CURLUPART_URL, &text, 0) == CURLUE_OK && text != nullptr) resolved = text;
        curl_free(text);
    }
    curl_url_cleanup(handle);
    return resolved;
}

bool StartsWithNoCase(const std::string& text, const char* prefix) {
    const size_t n = std::strlen(prefix);
    if (text.size() < n) return false;
    for (size_t i = 0; i < n; ++i) {
        if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
    }
    return true;
}

// A Content-Range value: "bytes first-last/total" or "bytes */total"; total -1 when "*".
struct ContentRange {
    bool valid = false;
    bool unsatisfied = false;  // "*/total"
    uint64_t first = 0;
    int64_t total = -1;
};

ContentRange ParseContentRange(const std::string& value) {
    ContentRange range;
    size_t at = value.find_first_not_of(' ');
    if (at == std::string::npos || value.compare(at, std::strlen(kRangeUnit), kRangeUnit) != 0) return range;
    at = value.find_first_not_of(' ', at + std::strlen(kRangeUnit));
    if (at == std::string::npos) return range;
    const size_t slash = value.find('/', at);
    if (slash == std::string::npos) return range;
    const std::string span = value.substr(at, slash - at);
    const std::string total = value.substr(slash + 1);
    if (total.empty()) return range;
    if (total[0] != '*') {
        char* end = nullptr;
        range.total = static_cast<int64_t>(std::strtoull(total.c_str(), &end, 10));
        if (end == total.c_str()) return range;
    }
    if (span == "*") {
        range.unsatisfied = true;
    } else {
        char* end = nullptr;
        range.first = std::strtoull(span.c_str(), &end, 10);
        if (end == span.c_str() || *end != '-') return range;
    }
    range.valid = true;
    return range;
}

class HttpConnection;

// The body of one response, read through the connection that received it.
class HttpResponse : public FtpRemoteFile {
public:
    HttpResponse(HttpConnection& connection, int64_t size, uint64_t startsAt, bool atEnd)
        : connection_(connection), size_(size), startsAt_(startsAt), atEnd_(atEnd) {}
    ~HttpResponse() override;
    HttpResponse(const HttpResponse&) = delete;
    HttpResponse& operator=(const HttpResponse&) = delete;

    uint32_t AnnouncedSize() override {
        if (size_ < 0) return 0;
        return size_ > static_cast<int64_t>(UINT32_MAX) ? UINT32_MAX : static_cast<uint32_t>(size_);
    }
    int32_t Read(void* buffer, uint32_t count) override;
    uint64_t StartsAt() const override { return startsAt_; }

private:
    HttpConnection& connection_;
    const int64_t size_;
    const uint64_t startsAt_;
    const bool atEnd_;  // a resumed open of a file the partial already holds whole
};

class HttpConnection : public FtpConnection {
public:
    HttpConnection(CURLM* multi, CURL* easy, const HttpClientOptions& options) : multi_(multi), easy_(easy), options_(options) {}
    ~HttpConnection() override {
        EndRequest();
        curl_easy_cleanup(easy_);
        curl_multi_cleanup(multi_);
    }
    HttpConnection(const HttpConnection&) = delete;
    HttpConnection& operator=(const HttpConnection&) = delete;

    bool Open(const std::string& host, uint16_t, const std::string&, const std::string&) override {
        failure_ = ConnectionFailure();
        // A TLS server is never met without a trust to check it against.
        if (StartsWithNoCase(host, kHttpsPrefix) && !options_.systemTrust && options_.caFile.empty() &&
            options_.caPem.empty()) {
            return false;
        }
        // A CA file that is not there can trust nothing: said at once, not as a refused server.
        if (StartsWithNoCase(host, kHttpsPrefix) && !options_.caFile.empty() &&
            !platform::FileExists(options_.caFile.c_str())) {
            failure_ = ConnectionFailure{FailureCause::kCaFile, options_.caFile};
            return false;
        }
        base_ = host;
        return IsHttpBase(host) && !aborted_.load();
    }
    std::unique_ptr<FtpRemoteFile> OpenFile(const char* remotePath) override { return OpenFileFrom(remotePath, 0); }
    std::unique_ptr<FtpRemoteFile> OpenFileFrom(const char* remotePath, uint64_t from) override;
    // Sizes come with the response; asking first would cost every file a round trip.
    int64_t QuerySize(const char*) override { return -1; }
    void Abort() override {
        aborted_.store(true);
        curl_multi_wakeup(multi_);
    }
    void LimitReceive(uint64_t bytesPerSecond) override { receiveLimit_ = bytesPerSecond; }
    ConnectionFailure LastFailure() const override { return failure_; }

    int32_t ReadBody(void* buffer, uint32_t count);
    void EndRequest();

private:
    bool Start(const std::string& url, uint64_t from);
    // Drives the transfer until the headers of the final response are in, it ended, or the
    // connection was aborted. False when aborted or ended without a response.
    bool AwaitHeaders();
    // One round of the transfer: waits for the socket (up to kPollMs) and performs.
    bool Step(bool wait);
    // Opens `url` from byte `from`, answering 416 and the status checks; redirects are
    // handed back through *redirect.
    std::unique_ptr<FtpRemoteFile> Answer(const std::string& url, uint64_t from, std::string* redirect,
                                          bool* restartWhole);
    // Reads and drops the rest of an answer that is not the file (OnBody gives it up past
    // kMaxAnswerBytes), so a short one leaves the connection for the next request.
    void DropBody();
    // The TLS checks of every request: the trust and the revocation option.
    void SetTls();
    // Under a download limit: libcurl's receive speed and small buffers up to the socket.
    void SetReceiveLimit();
    // libcurl's and the unread bytes' bound under the limit, and the socket's buffer.
    uint64_t LimitedBytes(uint64_t ms, uint64_t least) const;

    // Notes why the finished transfer failed, from libcurl's result and error text.
    void NoteTransferFailure();

    static size_t OnHeader(char* data, size_t size, size_t count, void* self);
    static size_t OnBody(char* data, size_t size, size_t count, void* self);
    static int OnSocket(void* self, curl_socket_t socket, curlsocktype purpose);

    CURLM* const multi_;
    CURL* const easy_;
    const HttpClientOptions options_;
    std::string base_;
    std::atomic<bool> aborted_{false};
    uint64_t receiveLimit_ = 0;  // bytes a second; 0: none
    size_t maxPending_ = kMaxPending;
    ConnectionFailure failure_;
    char errorText_[CURL_ERROR_SIZE] = {};

    // The request in progress.
    bool added_ = false;
    bool headersDone_ = false;
    bool finished_ = false;
    bool paused_ = false;
    CURLcode finishResult_ = CURLE_OK;
    long status_ = 0;           // of the final answer, once its headers are in
    size_t headerBytes_ = 0;    // of every answer to the request
    size_t otherBodyBytes_ = 0; // of an answer that is not the file
    std::string contentRange_;
    std::string location_;
    std::vector<uint8_t> pending_;
    size_t pendingAt_ = 0;
};

HttpResponse::~HttpResponse() { connection_.EndRequest(); }

int32_t HttpResponse::Read(void* buffer, uint32_t count) {
    if (atEnd_) return 0;
    return connection_.ReadBody(buffer, count);
}

size_t HttpConnection::OnHeader(char* data, size_t size, size_t count, void* self) {
    auto* connection = static_cast<HttpConnection*>(self);
    const std::string line(data, size * count);
    connection->headerBytes_ += line.size();
    if (connection->headerBytes_ > kMaxAnswerBytes) return 0;  // fails the transfer: headers without end
    if (StartsWithNoCase(line, "http/")) {
        // A new response (after an interim 1xx one): its headers replace what was kept.
        connection->contentRange_.clear();
        connection->location_.clear();
        connection->headersDone_ = false;
    } else if (StartsWithNoCase(line, kLocation)) {
        connection->location_ = HeaderValue(line, std::strlen(kLocation));
    } else if (StartsWithNoCase(line, kContentRange)) {
        connection->contentRange_ = line.substr(std::strlen(kContentRange));
        while (!connection->contentRange_.empty() &&
               (connection->contentRange_.back() == '\r' || connection->contentRange_.back() == '\n')) {
            connection->contentRange_.pop_back();
        }
    } else if (line == "\r\n" || line == "\n") {
        long status = 0;
        curl_easy_getinfo(connection->easy_, CURLINFO_RESPONSE_CODE, &status);
        if (status >= 200) {
            connection->headersDone_ = true;
            connection->status_ = status;
        }
    }
    return size * count;
}

size_t HttpConnection::OnBody(char* data, size_t size, size_t count, void* self) {
    auto* connection = static_cast<HttpConnection*>(self);
    if (connection->aborted_.load()) return 0;  // fails the transfer at once
    const size_t bytes = size * count;
    if (!CarriesTheFile(connection->status_)) {
        connection->otherBodyBytes_ += bytes;
        if (connection->otherBodyBytes_ > kMaxAnswerBytes) return 0;  // fails the transfer: no more is read
    }
    if (connection->pending_.size() - connection->pendingAt_ >= connection->maxPending_) {
        connection->paused_ = true;
        return CURL_WRITEFUNC_PAUSE;
    }
    if (connection->pendingAt_ == connection->pending_.size()) {
        connection->pending_.clear();
        connection->pendingAt_ = 0;
    }
    connection->pending_.insert(connection->pending_.end(), data, data + bytes);
    return bytes;
}

bool HttpConnection::Start(const std::string& url, uint64_t from) {
    EndRequest();
    headersDone_ = false;
    finished_ = false;
    paused_ = false;
    finishResult_ = CURLE_OK;
    status_ = 0;
    headerBytes_ = 0;
    otherBodyBytes_ = 0;
    failure_ = ConnectionFailure();
    errorText_[0] = '\0';
    contentRange_.clear();
    location_.clear();
    pending_.clear();
    pendingAt_ = 0;

    curl_easy_reset(easy_);
    curl_easy_setopt(easy_, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy_, CURLOPT_PROTOCOLS_STR, kProtocols);
    curl_easy_setopt(easy_, CURLOPT_USERAGENT, kUserAgent);
    // Redirects are looked at here, one by one, against the policy.
    curl_easy_setopt(easy_, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(easy_, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
    curl_easy_setopt(easy_, CURLOPT_NOSIGNAL, 1L);
    SetReceiveLimit();
    // A proxy's CONNECT answer is not the server's response.
    curl_easy_setopt(easy_, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    SetTls();
    // libcurl's words on a failure, for the cause and the debug log.
    curl_easy_setopt(easy_, CURLOPT_ERRORBUFFER, errorText_);
    curl_easy_setopt(easy_, CURLOPT_HEADERFUNCTION, &HttpConnection::OnHeader);
    curl_easy_setopt(easy_, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(easy_, CURLOPT_WRITEFUNCTION, &HttpConnection::OnBody);
    curl_easy_setopt(easy_, CURLOPT_WRITEDATA, this);
    if (!options_.proxyServers.empty()) {
        // "" sends the request directly, as the setting's bypass list asks.
        const std::string proxy = HttpProxyFor(url, options_.proxyServers, options_.proxyBypass);
        curl_easy_setopt(easy_, CURLOPT_PROXY, proxy.c_str());
    }
    const std::string range = std::to_string(from) + "-";
    curl_easy_setopt(easy_, CURLOPT_RANGE, from > 0 ? range.c_str() : nullptr);
    if (curl_multi_add_handle(multi_, easy_) != CURLM_OK) return false;
    added_ = true;
    return true;
}

void HttpConnection::SetTls() {
    curl_easy_setopt(easy_, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(easy_, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(easy_, CURLOPT_SSL_OPTIONS, options_.revocationBestEffort ? CURLSSLOPT_REVOKE_BEST_EFFORT : 0L);
    // The system's trust: no CA set, so the system's TLS layer checks the chain itself.
    if (options_.systemTrust) return;
    // Only the CA set given is trusted: no default folder of authorities beside it.
    curl_easy_setopt(easy_, CURLOPT_CAPATH, nullptr);
    if (!options_.caFile.empty()) {
        curl_easy_setopt(easy_, CURLOPT_CAINFO, options_.caFile.c_str());
    } else {
        curl_easy_setopt(easy_, CURLOPT_CAINFO, nullptr);
        curl_blob blob{const_cast<char*>(options_.caPem.data()), options_.caPem.size(), CURL_BLOB_COPY};
        curl_easy_setopt(easy_, CURLOPT_CAINFO_BLOB, &blob);
    }
}

uint64_t HttpConnection::LimitedBytes(uint64_t ms, uint64_t least) const {
    const uint64_t bytes = receiveLimit_ * ms / kMsPerSecond;
    return std::min<uint64_t>(std::max<uint64_t>(bytes, least), static_cast<uint64_t>(kReceiveBufferBytes));
}

void HttpConnection::SetReceiveLimit() {
    if (receiveLimit_ == 0) {
        maxPending_ = kMaxPending;
        curl_easy_setopt(easy_, CURLOPT_BUFFERSIZE, kReceiveBufferBytes);
        return;
    }
    maxPending_ = static_cast<size_t>(LimitedBytes(kLimitedBufferMs, kMinLimitedBuffer));
    curl_easy_setopt(easy_, CURLOPT_BUFFERSIZE, static_cast<long>(maxPending_));
    curl_easy_setopt(easy_, CURLOPT_MAX_RECV_SPEED_LARGE, static_cast<curl_off_t>(receiveLimit_));
    curl_easy_setopt(easy_, CURLOPT_SOCKOPTFUNCTION, &HttpConnection::OnSocket);
    curl_easy_setopt(easy_, CURLOPT_SOCKOPTDATA, this);
}

int HttpConnection::OnSocket(void* self, curl_socket_t socket, curlsocktype purpose) {
    auto* connection = static_cast<HttpConnection*>(self);
    if (purpose == CURLSOCKTYPE_IPCXN) {
        // Before the connect: the window the server is offered follows from it. A system
        // that refuses the size keeps its own; the reads are still held to the limit.
        const uint64_t bytes = connection->LimitedBytes(kLimitedSocketBufferMs, kMinLimitedSocketBuffer);
        platform::SetSocketReceiveBuffer(static_cast<std::uintptr_t>(socket), static_cast<uint32_t>(bytes));
    }
    return CURL_SOCKOPT_OK;
}

void HttpConnection::EndRequest() {
    if (!added_) return;
    // A transfer removed before its end closes its connection; a finished one leaves it
    // open for the next request.
    curl_multi_remove_handle(multi_, easy_);
    added_ = false;
}

bool HttpConnection::Step(bool wait) {
    if (aborted_.load()) return false;
    if (wait) curl_multi_poll(multi_, nullptr, 0, kPollMs, nullptr);
    if (aborted_.load()) return false;
    int running = 0;
    if (curl_multi_perform(multi_, &running) != CURLM_OK) return false;
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(multi_, &left)) {
        if (message->msg == CURLMSG_DONE && message->easy_handle == easy_) {
            finished_ = true;
            finishResult_ = message->data.result;
        }
    }
    return true;
}

void HttpConnection::NoteTransferFailure() {
    if (!finished_ || finishResult_ == CURLE_OK || aborted_.load()) return;
    const std::string text = errorText_[0] != '\0' ? errorText_ : curl_easy_strerror(finishResult_);
    failure_ = ConnectionFailure{CauseOfCurlResult(finishResult_, text), text};
}

bool HttpConnection::AwaitHeaders() {
    bool wait = false;
    while (!headersDone_ && !finished_) {
        if (!Step(wait)) return false;
        wait = true;
    }
    if (headersDone_ || finishResult_ == CURLE_OK) return true;
    NoteTransferFailure();
    return false;
}

int32_t HttpConnection::ReadBody(void* buffer, uint32_t count) {
    bool wait = false;
    for (;;) {
        const size_t ready = pending_.size() - pendingAt_;
        if (ready > 0) {
            const size_t n = std::min<size_t>(ready, count);
            std::memcpy(buffer, pending_.data() + pendingAt_, n);
            pendingAt_ += n;
            return static_cast<int32_t>(n);
        }
        if (paused_) {
            paused_ = false;
            curl_easy_pause(easy_, CURLPAUSE_CONT);
            wait = false;
            continue;
        }
        if (finished_) {
            if (finishResult_ == CURLE_OK) return 0;
            NoteTransferFailure();
            return -1;
        }
        if (!Step(wait)) return -1;
        wait = true;
    }
}

void HttpConnection::DropBody() {
    while (!finished_) {
        pending_.clear();
        pendingAt_ = 0;
        if (paused_) {
            paused_ = false;
            curl_easy_pause(easy_, CURLPAUSE_CONT);
        }
        if (!Step(true)) return;
    }
}

std::unique_ptr<FtpRemoteFile> HttpConnection::Answer(const std::string& url, uint64_t from, std::string* redirect,
                                                      bool* restartWhole) {
    if (!AwaitHeaders()) return nullptr;
    long status = 0;
    curl_easy_getinfo(easy_, CURLINFO_RESPONSE_CODE, &status);
    if (IsRedirect(status)) {
        // The address comes from the headers (libcurl tells it only once the answer has
        // ended); a short body is read and dropped, a long or endless one given up.
        *redirect = ResolveLocation(url, location_);
        DropBody();
        return nullptr;
    }
    const ContentRange range = ParseContentRange(contentRange_);
    if (status == kStatusRangeNotSatisfiable && from > 0) {
        // The partial already holds the whole file: nothing more to fetch. Longer than the
        // file: it is no part of it, and the file is fetched whole.
        if (range.valid && range.unsatisfied && range.total == static_cast<int64_t>(from)) {
            return std::make_unique<HttpResponse>(*this, range.total, from, true);
        }
        *restartWhole = true;
        return nullptr;
    }
    if (status == kStatusOk) {
        curl_off_t length = -1;
        curl_easy_getinfo(easy_, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
        return std::make_unique<HttpResponse>(*this, static_cast<int64_t>(length), 0, false);
    }
    // Part of a file is only used when it begins exactly where the partial ends. A part that
    // begins elsewhere, or does not say where, would be asked for again on every attempt and
    // every later run: the file is fetched whole instead.
    if (status == kStatusPartial && from > 0) {
        if (range.valid && !range.unsatisfied && range.first == from) {
            return std::make_unique<HttpResponse>(*this, range.total, from, false);
        }
        *restartWhole = true;
    }
    failure_ = ConnectionFailure{CauseOfHttpStatus(status), "HTTP " + std::to_string(status)};
    return nullptr;
}

std::unique_ptr<FtpRemoteFile> HttpConnection::OpenFileFrom(const char* remotePath, uint64_t from) {
    if (base_.empty() || remotePath == nullptr) return nullptr;
    std::string url = HttpUrlOf(base_, remotePath);
    for (int hop = 0; hop <= kMaxRedirects; ++hop) {
        if (!Start(url, from)) return nullptr;
        std::string redirect;
        bool restartWhole = false;
        std::unique_ptr<FtpRemoteFile> file = Answer(url, from, &redirect, &restartWhole);
        if (file) return file;
        EndRequest();
        if (restartWhole) {
            from = 0;
            continue;
        }
        if (redirect.empty() || !HttpRedirectAllowed(url, redirect)) return nullptr;
        url = redirect;
    }
    return nullptr;
}

class HttpClient : public FtpClient {
public:
    explicit HttpClient(const HttpClientOptions& options) : options_(options) {}
    std::unique_ptr<FtpConnection> NewConnection() override {
        CURLM* multi = curl_multi_init();
        CURL* easy = multi != nullptr ? curl_easy_init() : nullptr;
        if (easy == nullptr) {
            if (multi != nullptr) curl_multi_cleanup(multi);
            return nullptr;
        }
        return std::make_unique<HttpConnection>(multi, easy, options_);
    }

private:
    const HttpClientOptions options_;
};

}  // namespace

std::shared_ptr<FtpClient> CreateHttpClient(const HttpClientOptions& options) {
    // libcurl's global set-up is not thread-safe: done once, before any connection.
    static std::once_flag initialised;
    std::call_once(initialised, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    return std::make_shared<HttpClient>(options);
}
