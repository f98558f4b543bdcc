// msvccfg.dll: a stand-in plug-in built as operators build theirs, with the other compiler's
// ABI (clang --target=i686-pc-windows-msvc, lld-link, no C runtime): thiscall members, that
// compiler's virtual table layout, and the factory exported under the name that compiler
// decorates iUpdateCfg::GetInstance with (lld-link /export by that name fails if it differs).
//
// It appends every call to plugin_calls.txt in the current directory:
//   "initialize <command line>", "getstring <key>", "getint <key>" ("getint ftpip#<i>" for
//   the server address block), "launch <name>".
// Its answers show whether the tool uses them:
//   Initialize  0 when a file refuse_initialize is in the current directory, else 7;
//   GetString   "platfrom string": kPlatformName (GBK); any other key: its value in the
//               [updatecfg] section of updatecfg.ini in the current directory, else "";
//   GetInt      "ftp port": that file's value, else kFtpPort; "platfrom version":
//               kPlatformVersion; "ftpip" index i:
//               127.0.0.(i + 1) in network byte order for i < kFtpIpCount, then 0; else -1;
//   Launch      kLaunchAnswer.
#include "platformcfg/update_cfg.h"

// The few kernel32 calls it makes, declared by hand: no system headers, no C runtime.
extern "C" {
__declspec(dllimport) void* __stdcall CreateFileA(const char* name, unsigned long access, unsigned long share,
                                                  void* security, unsigned long disposition, unsigned long flags,
                                                  void* templateFile);
__declspec(dllimport) int __stdcall WriteFile(void* file, const void* data, unsigned long size,
                                              unsigned long* written, void* overlapped);
__declspec(dllimport) int __stdcall CloseHandle(void* handle);
__declspec(dllimport) unsigned long __stdcall GetFileAttributesA(const char* name);
__declspec(dllimport) unsigned long __stdcall GetPrivateProfileStringA(const char* section, const char* key,
                                                                       const char* fallback, char* value,
                                                                       unsigned long size, const char* file);
__declspec(dllimport) unsigned __stdcall GetPrivateProfileIntA(const char* section, const char* key, int fallback,
                                                               const char* file);
}

namespace {

constexpr unsigned long kAppendData = 0x0004;        // FILE_APPEND_DATA
constexpr unsigned long kShareRead = 0x0001;         // FILE_SHARE_READ
constexpr unsigned long kOpenAlways = 4;             // OPEN_ALWAYS
constexpr unsigned long kNormalFile = 0x80;          // FILE_ATTRIBUTE_NORMAL
constexpr unsigned long kNoAttributes = 0xFFFFFFFF;  // INVALID_FILE_ATTRIBUTES
void* const kInvalidHandle = reinterpret_cast<void*>(-1);

constexpr const char* kCallsFile = "plugin_calls.txt";
constexpr const char* kRefuseMarker = "refuse_initialize";
constexpr const char* kPlatformName = "MSVC \xB2\xE5\xBC\xFE";  // "MSVC 插件" in GBK
constexpr int kInitializeAnswer = 7;
constexpr int kFtpPort = 2121;
constexpr int kPlatformVersion = 20003;
constexpr int kFtpIpCount = 2;
constexpr int kUnknownInt = -1;
constexpr int kLaunchAnswer = 1;
constexpr unsigned kLineBytes = 512;
constexpr const char* kSettingsFile = ".\\updatecfg.ini";  // with a directory: not the Windows one
constexpr const char* kSettingsSection = "updatecfg";
constexpr unsigned kAnswerSlots = 8;  // answers are lent: a few stay valid while the caller copies them
constexpr unsigned long kAnswerBytes = 1024;

// Zero-initialised storage: no constructor code needed.
char g_answers[kAnswerSlots][kAnswerBytes];
unsigned g_nextAnswer;

bool Same(const char* a, const char* b) {
    while (*a != '\0' && *a == *b) ++a, ++b;
    return *a == *b;
}

// A line under construction; texts that do not fit are cut.
class Line {
public:
    // User-provided, so Line() leaves text_ as it is (zero-filling it would call memset,
    // which only the C runtime has).
    Line() {}
    Line& Add(const char* text) {
        for (; text != nullptr && *text != '\0'; ++text) Put(*text);
        return *this;
    }
    Line& AddNumber(unsigned value) {
        char digits[12];
        int n = 0;
        do {
            digits[n++] = static_cast<char>('0' + value % 10);
            value /= 10;
        } while (value != 0);
        while (n > 0) Put(digits[--n]);
        return *this;
    }
    void Append() {
        Put('\n');
        // No security attributes, no template file.
        void* file = CreateFileA(kCallsFile, kAppendData, kShareRead, nullptr, kOpenAlways, kNormalFile, nullptr);
        if (file == kInvalidHandle) return;
        unsigned long written = 0;
        WriteFile(file, text_, size_, &written, nullptr);  // no OVERLAPPED: synchronous
        CloseHandle(file);
    }

private:
    void Put(char c) {
        if (size_ < kLineBytes) text_[size_++] = c;
    }
    char text_[kLineBytes];
    unsigned size_ = 0;
};

class MsvcCfg : public iUpdateCfg {
public:
    constexpr MsvcCfg() = default;

    int Initialize(const char* commandLine) override {
        Line().Add("initialize ").Add(commandLine).Append();
        return GetFileAttributesA(kRefuseMarker) == kNoAttributes ? kInitializeAnswer : 0;
    }
    const char* GetString(const char* key) override {
        Line().Add("getstring ").Add(key).Append();
        if (Same(key, kCfgKeyPlatformString)) return kPlatformName;
        char* answer = g_answers[g_nextAnswer++ % kAnswerSlots];
        GetPrivateProfileStringA(kSettingsSection, key, "", answer, kAnswerBytes, kSettingsFile);
        return answer;
    }
    int GetInt(const char* key) override {
        if (Same(key, kCfgKeyFtpIp)) {
            unsigned index = static_cast<unsigned char>(key[kFtpIpIndexOffset]);
            Line().Add("getint ").Add(key).Add("#").AddNumber(index).Append();
            // 127.0.0.(i + 1): the bytes in memory order are the address's.
            return index < kFtpIpCount ? static_cast<int>(0x7F | (index + 1) << 24) : 0;
        }
        Line().Add("getint ").Add(key).Append();
        if (Same(key, kCfgKeyFtpPort)) {
            return static_cast<int>(GetPrivateProfileIntA(kSettingsSection, key, kFtpPort, kSettingsFile));
        }
        if (Same(key, kCfgKeyPlatformVersion)) return kPlatformVersion;
        return kUnknownInt;
    }
    int Launch(const char* exeName) override {
        Line().Add("launch ").Add(exeName).Append();
        return kLaunchAnswer;
    }
};

// Constant-initialised (the attribute makes the compiler check it): without a C runtime no
// constructor code would run at load.
[[clang::require_constant_initialization]] MsvcCfg g_instance;

}  // namespace

iUpdateCfg* iUpdateCfg::GetInstance() { return &g_instance; }
