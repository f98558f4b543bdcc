// The progress object of one update run: every download, the engine, offline packages and
// the pack rebuild report through it. It turns transfer progress and stage reports into
// window notifications. Without a notifier (no main window) nothing is posted.
//
// The object is also a real IBindStatusCallback, so a system download API can be handed
// it as it is: its first virtual slots are exactly the COM interface's, in the interface's
// order and calling convention (stdcall on 32-bit Windows), followed by ReportStage. The
// layout is the contract: no virtual destructor (it would take slots), nothing virtual
// before ReportStage that the interface does not have, and no system headers here.
#pragma once

#include <cstdint>

class Notifier;

// Transfer status codes handed to OnProgress (the binding status values of the transfer).
constexpr uint32_t kProgressBegin = 4;
constexpr uint32_t kProgressData = 5;
constexpr uint32_t kProgressEnd = 6;
constexpr uint32_t kProgressStatusMin = 1;
constexpr uint32_t kProgressStatusMax = 24;
constexpr uint32_t kProgressStatusOther = 25;  // out-of-range codes: nothing posted

// ReportStage keys: the step bar of the driver, and the files-left counter.
constexpr uint32_t kStageKeySteps = 0x129E9BE8;
constexpr uint32_t kStageKeyFilesLeft = 0;
constexpr uint32_t kStageBegin = 0;
constexpr uint32_t kStageStep = 1;
constexpr uint32_t kStageEnd = 2;

// COM's member calling convention: stdcall on 32-bit Windows, the platform's only one
// elsewhere.
#if defined(_WIN32) && defined(__i386__)
#define KVO_COM_CALL __attribute__((stdcall))
#else
#define KVO_COM_CALL
#endif

// An interface identifier, laid out as the system's GUID.
struct ComGuid {
    uint32_t data1;
    uint16_t data2;
    uint16_t data3;
    uint8_t data4[8];
};
bool operator==(const ComGuid& a, const ComGuid& b);

// {00000000-0000-0000-C000-000000000046} and {79EAC9C1-BAF9-11CE-8C82-00AA004BA90B}.
extern const ComGuid kIidUnknown;
extern const ComGuid kIidBindStatusCallback;

// The COM answers the object gives.
constexpr int32_t kComOk = 0;                                              // S_OK
constexpr int32_t kComNotImplemented = static_cast<int32_t>(0x80004001u);  // E_NOTIMPL
constexpr int32_t kComNoInterface = static_cast<int32_t>(0x80004002u);     // E_NOINTERFACE
constexpr int32_t kComBadPointer = static_cast<int32_t>(0x80004003u);      // E_POINTER

class ProgressSink final {
public:
    explicit ProgressSink(Notifier* window = nullptr) : window_(window) {}
    ~ProgressSink() = default;
    ProgressSink(const ProgressSink&) = delete;
    ProgressSink& operator=(const ProgressSink&) = delete;

    // IUnknown. The identifiers of IUnknown and IBindStatusCallback give the object itself
    // (one reference added); any other gives kComNoInterface and a null result.
    virtual int32_t KVO_COM_CALL QueryInterface(const ComGuid& iid, void** object);
    // Return the new count. Release never destroys: the object lives in its run's frame.
    virtual uint32_t KVO_COM_CALL AddRef();
    virtual uint32_t KVO_COM_CALL Release();

    // IBindStatusCallback. Only OnProgress does something; GetPriority is not implemented.
    virtual int32_t KVO_COM_CALL OnStartBinding(uint32_t reserved, void* binding);
    virtual int32_t KVO_COM_CALL GetPriority(int32_t* priority);
    virtual int32_t KVO_COM_CALL OnLowResource(uint32_t reserved);
    // Download progress: status 4 posts UM_FILE_BEGIN (0, maximum), 5 UM_FILE_PROGRESS
    // (progress, maximum), 6 UM_FILE_END (progress, maximum). Always answers kComOk.
    virtual int32_t KVO_COM_CALL OnProgress(uint32_t progress, uint32_t maximum, uint32_t statusCode,
                                            const wchar_t* statusText = nullptr);
    virtual int32_t KVO_COM_CALL OnStopBinding(int32_t result, const wchar_t* error);
    virtual int32_t KVO_COM_CALL GetBindInfo(uint32_t* bindFlags, void* bindInfo);
    virtual int32_t KVO_COM_CALL OnDataAvailable(uint32_t flags, uint32_t size, void* format, void* medium);
    virtual int32_t KVO_COM_CALL OnObjectAvailable(const ComGuid& iid, void* object);

    // The added operation: step bar and files-left counter. Always answers 0.
    virtual int32_t KVO_COM_CALL ReportStage(uint32_t key, uint32_t a, uint32_t b, uint32_t stage,
                                             uint32_t extra);

    // Not part of the interface: any other notification to the window (phase begin,
    // restart).
    void Post(uint32_t message, uint32_t wParam, uint32_t lParam);
    void PostRestart(const char* nextProgram);

    Notifier* window() const { return window_; }
    uint32_t references() const { return references_; }

private:
    uint32_t references_ = 1;
    Notifier* window_;
};
