#include "net/server_select.h"

#include <random>
#include <string>

#include "common/run_state.h"
#include "common/show_status.h"
#include "net/probe.h"
#include "net/server_select_options.h"
#include "net/server_select_rules.h"
#include "platform/platform.h"
#include "platform/udp_socket.h"
#include "platformcfg/platform_config.h"
#include "platformcfg/update_cfg.h"

// The two servers of last resort, from the build setting UPDATER_FALLBACK_SERVER_1 / _2.
#ifndef UPDATER_FALLBACK_SERVER_1
#error "UPDATER_FALLBACK_SERVER_1 must be defined by the build"
#endif
#ifndef UPDATER_FALLBACK_SERVER_2
#error "UPDATER_FALLBACK_SERVER_2 must be defined by the build"
#endif

namespace {

constexpr const char kStatusChoosing[] = "正在选择最佳更新服务器";
constexpr const char kStatusNoDns[] = "无法通过DNS解析获取服务器列表，切换为配置库IP更新模式";
constexpr const char kStatusNoPlugin[] = "无法通过配置库获取服务器列表，切换为指定IP更新模式";
constexpr const char* kFallbackText[kFallbackServerCount] = {UPDATER_FALLBACK_SERVER_1, UPDATER_FALLBACK_SERVER_2};
constexpr const char kFallbackJoined[] = UPDATER_FALLBACK_SERVER_1 " " UPDATER_FALLBACK_SERVER_2;
constexpr size_t kUpipReadChunk = 4096;

uint32_t DefaultRandom() {
    static std::minstd_rand generator(std::random_device{}() ^ platform::TickCountMs());
    return static_cast<uint32_t>(generator());
}

// Source 1: the local address file. False when it cannot be opened.
bool ReadUpipFile(const char* path, ServerCandidates& list) {
    const platform::OwnedFile file(platform::OpenFileForRead(path));
    if (!file.valid()) return false;
    UpipTokenReader reader(list);
    char chunk[kUpipReadChunk];
    for (uint32_t got; !reader.Full() && (got = platform::ReadFromFile(file.get(), chunk, sizeof(chunk))) > 0;) {
        reader.Feed(chunk, got);
    }
    reader.Finish();
    return true;
}

// Source 3: the name service.
void AppendResolved(const char* addressText, ServerCandidates& list) {
    for (uint32_t address : platform::ResolveIpv4(addressText)) {
        if (IsServerAddress(address) && !AppendCandidate(list, address)) break;
    }
}

// Source 4: the plug-in's "ftpip" keys, asked in order until the first 0.
void AppendPluginAddresses(iUpdateCfg* cfg, ServerCandidates& list) {
    if (cfg == nullptr) return;
    // "ftpip", NUL, the index byte, NUL.
    char key[kFtpIpKeyBlockSize + 1] = {};
    for (size_t i = 0; kCfgKeyFtpIp[i] != '\0'; ++i) key[i] = kCfgKeyFtpIp[i];
    for (unsigned index = 0; index <= kFtpIpMaxIndex && list.count < kMaxServerCandidates; ++index) {
        key[kFtpIpIndexOffset] = static_cast<char>(index);
        const uint32_t address = static_cast<uint32_t>(cfg->GetInt(key));
        if (address == 0) break;
        if (IsServerAddress(address)) AppendCandidate(list, address);
    }
}

}  // namespace

const char* FallbackServerText() { return kFallbackJoined; }

ServerSelectOptions DefaultServerSelectOptions() {
    ServerSelectOptions options;
    for (uint32_t i = 0; i < kFallbackServerCount; ++i) ParseIpv4Address(kFallbackText[i], &options.fallback[i]);
    options.random = DefaultRandom;
    return options;
}

uint32_t SelectUpdateServerWith(const char* addressText, iUpdateCfg* cfg, const std::atomic<int32_t>* stopFlag,
                                ServerCandidates& list, const ServerSelectOptions& options) {
    if (list.count > kMaxServerCandidates) list.count = 0;
    if (options.upipPath != nullptr && ReadUpipFile(options.upipPath, list)) {
        return list.count > 0 ? list.address[0] : 0;
    }
    uint32_t literal;
    if (ParseIpv4Address(addressText, &literal) && IsServerAddress(literal)) return literal;

    platform::NetworkUse network;
    if (!network.ok()) return 0;
    AppendResolved(addressText, list);
    if (list.count > 0) {
        ShowStatus(kStatusChoosing);
    } else {
        ShowStatus(kStatusNoDns);
        AppendPluginAddresses(cfg, list);
        if (list.count == 0) {
            ShowStatus(kStatusNoPlugin);
            for (uint32_t address : options.fallback) AppendCandidate(list, address);
        }
    }

    const uint32_t fastest = ProbeServersFor(list.rtt, list.address, list.count, stopFlag, options.probeWaitMs);
    const uint32_t randomValue = options.random != nullptr ? options.random() : 0;
    return PickCandidate(list, fastest, randomValue);
}

uint32_t SelectUpdateServer(const char* addressText, iUpdateCfg* cfg, const std::atomic<int32_t>* stopFlag,
                            ServerCandidates& list) {
    return SelectUpdateServerWith(addressText, cfg, stopFlag, list, DefaultServerSelectOptions());
}

uint32_t SelectUpdateServer(ServerCandidates& list) {
    iUpdateCfg* cfg = GetPlatformConfig();
    const std::string addressText = CfgString(cfg, kCfgKeyFtpAddress);  // the plug-in's text is only lent
    return SelectUpdateServer(addressText.c_str(), cfg, &StopFlag, list);
}
