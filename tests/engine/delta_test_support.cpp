#include "tests/engine/delta_test_support.h"

#include <gtest/gtest.h>

#include "engine/delta_patch.h"
#include "engine/md5.h"

namespace deltatest {

std::string MakePatch(const std::string& from, const std::string& to) {
    std::string patch;
    EXPECT_TRUE(MakeDeltaPatch(from.data(), from.size(), to.data(), to.size(), &patch));
    return patch;
}

DeltaEntry PatchEntry(const std::string& name, const std::string& from, const std::string& to,
                      const std::string& listed, const std::string& patchPath) {
    DeltaEntry e;
    e.name = name;
    e.oldMd5 = Md5Text(from.data(), from.size());
    e.oldSize = from.size();
    e.newMd5 = Md5Text(to.data(), to.size());
    e.newSize = to.size();
    e.patchPath = patchPath;
    e.patchSize = listed.size();
    e.patchMd5 = Md5Text(listed.data(), listed.size());
    return e;
}

}  // namespace deltatest
