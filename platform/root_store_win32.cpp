#include "platform/root_store.h"

#include <windows.h>
#include <wincrypt.h>

#include <vector>

namespace platform {

namespace {

constexpr const char kRootStoreName[] = "ROOT";

// The system store, closed when it goes.
class SystemStore {
public:
    // hProv 0: the default provider, as the store API asks of every caller.
    SystemStore() : store_(CertOpenSystemStoreA(0, kRootStoreName)) {}
    ~SystemStore() {
        if (store_ != nullptr) CertCloseStore(store_, 0);  // 0: no forced close; contexts freed by the loop
    }
    SystemStore(const SystemStore&) = delete;
    SystemStore& operator=(const SystemStore&) = delete;
    HCERTSTORE get() const { return store_; }

private:
    HCERTSTORE store_;
};

// One certificate's DER bytes as a PEM block; false when the conversion fails.
bool AppendPem(const CERT_CONTEXT& cert, std::string& out) {
    // First call: pszString null asks for the length the text needs.
    DWORD length = 0;
    if (!CryptBinaryToStringA(cert.pbCertEncoded, cert.cbCertEncoded, CRYPT_STRING_BASE64HEADER, nullptr,
                              &length) ||
        length == 0) {
        return false;
    }
    std::vector<char> text(length);
    if (!CryptBinaryToStringA(cert.pbCertEncoded, cert.cbCertEncoded, CRYPT_STRING_BASE64HEADER, text.data(),
                              &length)) {
        return false;
    }
    out.append(text.data(), length);
    return true;
}

}  // namespace

std::string SystemRootCertificatesPem() {
    SystemStore store;
    if (store.get() == nullptr) return std::string();
    std::string pem;
    // pPrevCertContext null starts the walk; each call frees the context it is given.
    const CERT_CONTEXT* cert = nullptr;
    while ((cert = CertEnumCertificatesInStore(store.get(), cert)) != nullptr) {
        if (cert->dwCertEncodingType & X509_ASN_ENCODING) AppendPem(*cert, pem);
    }
    return pem;
}

}  // namespace platform
