// paktool probe-responder: the UDP side of the update servers' probe. Every datagram of
// exactly 8 bytes is sent back unchanged to its sender; anything else is ignored, so the
// responder never sends more than it received. Runs until interrupted.
#include <cinttypes>
#include <cstdio>
#include <string>
#include <vector>

#include "net/server_select.h"
#include "net/server_select_rules.h"
#include "platform/udp_socket.h"
#include "tools/paktool/cli_util.h"
#include "tools/paktool/paktool_command.h"

namespace {

constexpr uint32_t kProbeDatagramBytes = 8;
// Larger than any probe, so a longer datagram shows its length instead of passing as 8 bytes.
constexpr size_t kReceiveBufferBytes = 2048;
constexpr uint32_t kWaitRoundMicroseconds = 1000000;
constexpr uint64_t kAnswersPerReport = 1000;
constexpr const char* kDefaultBind = "0.0.0.0";

std::string AddressText(uint32_t address) {
    const uint8_t* b = reinterpret_cast<const uint8_t*>(&address);
    char text[16];
    std::snprintf(text, sizeof(text), "%u.%u.%u.%u", b[0], b[1], b[2], b[3]);
    return text;
}

int RunProbeResponder(int argc, char** argv) {
    ParsedArgs args;
    const std::vector<OptionDef> optionDefs = {
        {nullptr, "--bind", true, false, "the local IPv4 address to answer on (default: every address)"},
        {nullptr, "--port", true, false, "the UDP port (default 10874)"}};
    if (int rc = ParseArgs(argc, argv, optionDefs, args); rc != kExitOk) return rc;
    if (int rc = ExpectPositional(args, 0); rc != kExitOk) return rc;
    const char* bindText = args.Has("--bind") ? args.Value("--bind") : kDefaultBind;
    uint32_t bindAddress = 0;
    if (!ParseIpv4Address(bindText, &bindAddress)) {
        return Fail(kExitUsage, "--bind expects a dotted IPv4 address, not '%s'", bindText);
    }
    int64_t port = kProbePort;
    if (args.Has("--port")) {
        if (int rc = ParseIntOption("--port", args.Value("--port"), 1, 65535, port); rc != kExitOk) return rc;
    }

    platform::NetworkUse network;
    platform::UdpSocket socket;
    if (!network.ok() || !socket.Open()) return Fail(kExitFailed, "no UDP socket could be made");
    if (!socket.Bind(bindAddress, static_cast<uint16_t>(port))) {
        return Fail(kExitFailed, "cannot bind %s:%" PRId64 " (in use, or not an address of this machine)", bindText,
                    port);
    }
    std::printf("answering probes on %s:%u\n", AddressText(bindAddress).c_str(), socket.LocalPort());
    std::fflush(stdout);

    std::vector<uint8_t> buffer(kReceiveBufferBytes);
    uint64_t answers = 0;
    for (;;) {
        const platform::WaitResult ready = socket.WaitReadable(kWaitRoundMicroseconds);
        if (ready == platform::WaitResult::Failed) return Fail(kExitFailed, "waiting on the socket failed");
        if (ready != platform::WaitResult::Readable) continue;
        uint32_t from = 0;
        uint16_t fromPort = 0;
        // -1: an error such as an unreachable earlier sender; it ends nothing.
        if (socket.ReceiveFrom(buffer.data(), buffer.size(), &from, &fromPort) != static_cast<int>(kProbeDatagramBytes))
            continue;
        if (socket.SendTo(buffer.data(), kProbeDatagramBytes, from, fromPort) < 0) continue;
        if (++answers % kAnswersPerReport == 0) {
            std::printf("%" PRIu64 " probes answered\n", answers);
            std::fflush(stdout);
        }
    }
}

const PaktoolCommandRegistration kRegistration{
    {"probe-responder", "[--bind ADDR] [--port N]",
     "Answers update server probes: sends every 8-byte UDP datagram back to its sender "
     "(port 10874 on every address unless told otherwise); runs until interrupted.",
     RunProbeResponder}};

}  // namespace
