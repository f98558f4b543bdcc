// The progress object's COM side: interface answers and reference counting.
#include <gtest/gtest.h>

#include <vector>

#include "common/progress_sink.h"

namespace {

const ComGuid kOtherIid = {0x0000000C, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};  // IStream

struct QueryCase {
    const char* name;
    const ComGuid* iid;
    int32_t answer;
    bool self;
};

TEST(ProgressSinkCom, AnswersItsTwoInterfacesWithItselfAndNothingElse) {
    const std::vector<QueryCase> cases = {
        {"unknown", &kIidUnknown, kComOk, true},
        {"bind-status-callback", &kIidBindStatusCallback, kComOk, true},
        {"other", &kOtherIid, kComNoInterface, false},
    };
    for (const QueryCase& c : cases) {
        ProgressSink sink;
        void* object = &sink + 1;  // any non-null value: a refusal must clear it
        EXPECT_EQ(sink.QueryInterface(*c.iid, &object), c.answer) << c.name;
        EXPECT_EQ(object, c.self ? static_cast<void*>(&sink) : nullptr) << c.name;
        EXPECT_EQ(sink.references(), c.self ? 2u : 1u) << c.name;
    }
    ProgressSink sink;
    EXPECT_EQ(sink.QueryInterface(kIidUnknown, nullptr), kComBadPointer);
}

TEST(ProgressSinkCom, CountsReferencesWithoutEverDestroyingItself) {
    ProgressSink sink;
    EXPECT_EQ(sink.AddRef(), 2u);
    EXPECT_EQ(sink.Release(), 1u);
    EXPECT_EQ(sink.Release(), 0u);
    EXPECT_EQ(sink.AddRef(), 1u) << "still usable after the count reached 0";
    int32_t priority = 0;
    EXPECT_EQ(sink.GetPriority(&priority), kComNotImplemented);
    EXPECT_EQ(sink.OnStartBinding(0, nullptr), kComOk);
    EXPECT_EQ(sink.OnStopBinding(0, nullptr), kComOk);
}

}  // namespace
