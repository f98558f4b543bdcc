// The progress object used through the system's own IBindStatusCallback declaration: the
// slots, their order and their calling convention must be the interface's.
#include <gtest/gtest.h>

#include <windows.h>

#include <urlmon.h>

#include <vector>

#include "common/progress_sink.h"
#include "common/update_codes.h"
#include "tests/engine/engine_test_support.h"

// The interface with the progress object's added operation after the system's slots. It
// stays outside the anonymous namespace: an interface there with no implementation in sight
// lets the optimiser take every call through it as unreachable.
struct IProgressSinkSlots : public IBindStatusCallback {
    virtual HRESULT STDMETHODCALLTYPE ReportStage(DWORD key, DWORD a, DWORD b, DWORD stage, DWORD extra) = 0;
};

namespace {

using enginetest::Posted;
using enginetest::RecordingNotifier;

// Hands over only the address, as a system caller gets it: the barrier makes the compiler
// finish the object (its table pointer) and forget its type, so reaching it through the
// system's interface type is no aliasing shortcut the optimiser may reorder around.
void* AddressOnly(void* object) {
    asm volatile("" : "+r"(object) : : "memory");
    return object;
}

TEST(ProgressSinkWin32, WorksThroughTheSystemInterface) {
    RecordingNotifier window;
    ProgressSink sink(&window);
    // A system caller sees only the object's address, as any COM client does.
    void* object = AddressOnly(&sink);
    IUnknown* unknown = static_cast<IUnknown*>(object);

    IBindStatusCallback* callback = nullptr;
    ASSERT_EQ(unknown->QueryInterface(IID_IBindStatusCallback, reinterpret_cast<void**>(&callback)), S_OK);
    ASSERT_EQ(static_cast<void*>(callback), static_cast<void*>(&sink));
    void* stream = &sink;
    EXPECT_EQ(unknown->QueryInterface(IID_IStream, &stream), E_NOINTERFACE);
    EXPECT_EQ(stream, nullptr);

    EXPECT_EQ(callback->AddRef(), 3u);
    EXPECT_EQ(callback->Release(), 2u);
    LONG priority = 0;
    EXPECT_EQ(callback->GetPriority(&priority), E_NOTIMPL);
    EXPECT_EQ(callback->OnStartBinding(0, nullptr), S_OK);
    EXPECT_EQ(callback->OnLowResource(0), S_OK);
    EXPECT_EQ(callback->OnProgress(0, 300, BINDSTATUS_BEGINDOWNLOADDATA, L"x"), S_OK);
    EXPECT_EQ(callback->OnProgress(120, 300, BINDSTATUS_DOWNLOADINGDATA, nullptr), S_OK);
    EXPECT_EQ(callback->OnProgress(300, 300, BINDSTATUS_ENDDOWNLOADDATA, nullptr), S_OK);
    EXPECT_EQ(callback->OnStopBinding(S_OK, nullptr), S_OK);
    EXPECT_EQ(callback->GetBindInfo(nullptr, nullptr), S_OK);
    EXPECT_EQ(callback->OnDataAvailable(0, 0, nullptr, nullptr), S_OK);
    EXPECT_EQ(callback->OnObjectAvailable(IID_IUnknown, nullptr), S_OK);
    EXPECT_EQ(static_cast<IProgressSinkSlots*>(object)->ReportStage(kStageKeyFilesLeft, 1, 4, 0, 0), 0);

    const std::vector<Posted> expected = {{UM_FILE_BEGIN, 0, 300},
                                          {UM_FILE_PROGRESS, 120, 300},
                                          {UM_FILE_END, 300, 300},
                                          {UM_FILES_LEFT, 1, 4}};
    EXPECT_EQ(window.posts, expected);
    EXPECT_EQ(sink.references(), 2u);
}

}  // namespace
