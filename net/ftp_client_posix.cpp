// Builds without a system FTP client: the session never connects (host tests give it a
// scripted client).
#include "net/ftp_client.h"

namespace {

class NoFtpClient : public FtpClient {
public:
    std::unique_ptr<FtpConnection> NewConnection() override { return nullptr; }
};

}  // namespace

std::shared_ptr<FtpClient> CreateSystemFtpClient() { return std::make_shared<NoFtpClient>(); }
