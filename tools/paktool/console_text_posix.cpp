#include "tools/paktool/console_text.h"

#include <iconv.h>
#include <langinfo.h>

#include <cerrno>
#include <clocale>
#include <cstring>

namespace {

constexpr const char* kGameEncoding = "GBK";
constexpr const char* kUtf8 = "UTF-8";
constexpr size_t kUtf8BytesPerGbkByte = 2;  // a GBK pair becomes at most 3 bytes, a single 1
constexpr size_t kSpareBytes = 8;
constexpr char kUnknownCharacter = '?';

bool g_utf8Terminal = false;

// Closes the conversion when it leaves scope.
class Conversion {
public:
    Conversion() : cd_(iconv_open(kUtf8, kGameEncoding)) {}
    ~Conversion() {
        if (ok()) iconv_close(cd_);
    }
    Conversion(const Conversion&) = delete;
    Conversion& operator=(const Conversion&) = delete;
    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    iconv_t get() const { return cd_; }

private:
    iconv_t cd_;
};

}  // namespace

void InitConsoleText() {
    std::setlocale(LC_CTYPE, "");
    const char* codeset = nl_langinfo(CODESET);
    g_utf8Terminal = codeset != nullptr && (std::strcmp(codeset, "UTF-8") == 0 || std::strcmp(codeset, "utf8") == 0);
}

std::string ConsoleText(const std::string& gbk) {
    if (!g_utf8Terminal || gbk.empty()) return gbk;
    Conversion conversion;
    if (!conversion.ok()) return gbk;
    std::string out(gbk.size() * kUtf8BytesPerGbkByte + kSpareBytes, '\0');
    char* src = const_cast<char*>(gbk.data());  // iconv's signature; the text is not changed
    size_t srcLeft = gbk.size();
    char* dst = &out[0];
    size_t dstLeft = out.size();
    while (srcLeft > 0) {
        if (iconv(conversion.get(), &src, &srcLeft, &dst, &dstLeft) != static_cast<size_t>(-1)) break;
        if (errno == E2BIG || dstLeft == 0) break;  // cannot happen with the room above
        // A byte that starts no GBK character (or a lead byte cut off at the end).
        *dst++ = kUnknownCharacter;
        --dstLeft;
        ++src;
        --srcLeft;
    }
    out.resize(out.size() - dstLeft);
    return out;
}
