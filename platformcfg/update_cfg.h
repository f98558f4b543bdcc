// The platform configuration plug-in's interface object.
//
// updatecfg.dll is a closed library that operators replace with their own; it may be built
// by any Windows C++ compiler. The object is reached only through its virtual table, so the
// layout below is the contract: exactly four virtual operations in this slot order, no
// virtual destructor (it would add slots), and the compiler's default member calling
// convention, which is thiscall on 32-bit Windows and the single x64 convention on 64-bit.
// Do not add, remove or reorder virtual functions.
//
// All texts are NUL-terminated 8-bit GBK strings. This header needs no system headers: the
// portable engine calls Launch through it.
#pragma once

struct iUpdateCfg {
    // Called once with the tool's command line; non-zero means ready.
    virtual int Initialize(const char* commandLine) = 0;
    // The value of a key, or null. The text stays the plug-in's: use or copy it at once.
    virtual const char* GetString(const char* key) = 0;
    // The value of an integer key (signed 32-bit).
    virtual int GetInt(const char* key) = 0;
    // Starts the named game executable in the current directory. Callers ignore the result.
    virtual int Launch(const char* exeName) = 0;

    // The plug-in's factory, exported under its decorated name kUpdateCfgFactoryExport.
    static iUpdateCfg* GetInstance();

protected:
    // Never deleted through this interface: the plug-in owns its object for the whole run.
    ~iUpdateCfg() = default;
};

// The factory's export name. It is the decorated name of iUpdateCfg::GetInstance given by
// the compiler the first plug-ins were built with, and is the same in 32- and 64-bit builds.
constexpr const char* kUpdateCfgFactoryExport = "?GetInstance@iUpdateCfg@@SAPAU1@XZ";
using UpdateCfgFactory = iUpdateCfg* (*)();

// Keys of the interface (spelling as the plug-ins expect it).
constexpr const char* kCfgKeyPlatformString = "platfrom string";
constexpr const char* kCfgKeyHttpClassic = "http_classic";
constexpr const char* kCfgKeyHttp1024 = "http_1024";
constexpr const char* kCfgKeyFtpAddress = "ftp address";
constexpr const char* kCfgKeyFtpPort = "ftp port";
constexpr const char* kCfgKeyFtpAccount = "ftp account";
constexpr const char* kCfgKeyFtpPassword = "ftp password";
constexpr const char* kCfgKeyFtpDirectory = "ftp directory";
constexpr const char* kCfgKeyFileVersion = "file version";
constexpr const char* kCfgKeyFileUpdate = "file update";
constexpr const char* kCfgKeyPlatformVersion = "platfrom version";
// Keys added later; a plug-in that does not know them answers 0 or null, which keeps the
// tool's behaviour as it was.
// KB/s (1024 bytes) all downloads of a run together may take; 0: no limit.
constexpr const char* kCfgKeyDownloadLimit = "download limit";
// An http:// or https:// base address, or several separated by ';' in order of preference:
// every fetch of the run goes there over HTTP(S) with the FTP run's remote paths. Absent or
// empty: the run fetches over FTP.
constexpr const char* kCfgKeyUpdateUrl = "update url";
// A PEM file of the only authorities an https:// server may be signed by (relative to the
// installation folder, or absolute). Absent or empty: the system's trusted roots.
constexpr const char* kCfgKeyUpdateCaFile = "update ca file";
// How many files an HTTP(S) run may fetch at once (1 to 16; 0 or absent: 4).
constexpr const char* kCfgKeyDownloadConnections = "download connections";

// "ftpip" asks for the i-th server address: the key block is "ftpip", NUL, the index as one
// raw byte, NUL. Read up to its first NUL it is "ftpip" for every index.
constexpr const char* kCfgKeyFtpIp = "ftpip";
constexpr unsigned kFtpIpKeyBlockSize = 7;
constexpr unsigned kFtpIpIndexOffset = 6;
constexpr unsigned kFtpIpMaxIndex = 254;
