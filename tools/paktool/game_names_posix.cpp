// UTF-8 to GBK through iconv (glibc).
#include <iconv.h>

#include "tools/paktool/game_names.h"

namespace {

constexpr const char* kGbk = "GBK";
constexpr const char* kUtf8 = "UTF-8";
constexpr size_t kSpareBytes = 8;

}  // namespace

bool Utf8NamesSupported() { return true; }

bool ConvertUtf8ToGbk(const std::string& utf8, std::string& gbk) {
    const iconv_t cd = iconv_open(kGbk, kUtf8);
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    std::string out(utf8.size() + kSpareBytes, '\0');  // GBK never takes more bytes than UTF-8
    char* src = const_cast<char*>(utf8.data());  // iconv's signature; the text is not changed
    size_t srcLeft = utf8.size();
    char* dst = &out[0];
    size_t dstLeft = out.size();
    const bool converted = iconv(cd, &src, &srcLeft, &dst, &dstLeft) != static_cast<size_t>(-1) && srcLeft == 0;
    iconv_close(cd);
    if (!converted) return false;
    out.resize(out.size() - dstLeft);
    gbk = out;
    return true;
}
