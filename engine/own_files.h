// The tool's own files in the installation: the tool "update.exe" and the plug-in
// "updatecfg.dll". The self-update and an offline package replace them the same way and
// decide by the same rule whether an installed plug-in must give way to another version.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "engine/pe_image.h"

class TempFile;

constexpr const char* kInstalledToolName = "update.exe";
constexpr const char* kInstalledPluginName = "updatecfg.dll";
constexpr int32_t kPluginVersionBase = 10000;  // plug-in versions: major x 10000 + minor
// A loaded plug-in cannot be replaced in place; it is moved aside under this suffix and
// the left-over is removed by a later run.
constexpr const char* kSelfUpdateAsideSuffix = ".kvoold";

// The status line refusing a new tool or plug-in that could not run here (GBK; %s: the file).
constexpr const char* kTextNotRunnable = "下载的文件不是本机可用的程序，已拒绝：%s";

// Whether `bytes` can take the place of the tool (`kind` kProgram) or of the plug-in
// (kLibrary, exporting the factory): a PE image of this build's machine, read from its
// headers and export table without loading anything. Anything else would leave an
// installation that cannot start.
bool IsRunnableOwnFile(const uint8_t* bytes, size_t size, PeKind kind);

// Whether the installed plug-in version `installed` must give way to `offered`: the majors
// differ (in either direction) or the installed minor is lower.
bool PluginNeedsUpdate(int32_t installed, int32_t offered);

// Puts the complete file `temp` in the place of `installed` in one step. A file the system
// will not replace while it is loaded (the plug-in of this very process) is moved aside
// first and put back if the new file cannot follow it. False when `installed` is as it was.
bool PutOwnFileInPlace(const std::string& temp, const std::string& installed);

// Removes what an earlier replacement left behind (a file moved aside while loaded).
void RemoveOwnFileLeftovers();

// A new content for an own file, first written whole to a temporary file beside it and
// only then put in its place; the temporary file goes with the object when it was not.
class StagedOwnFile {
public:
    explicit StagedOwnFile(std::string installed);
    ~StagedOwnFile();
    StagedOwnFile(const StagedOwnFile&) = delete;
    StagedOwnFile& operator=(const StagedOwnFile&) = delete;

    // Writes the temporary file; false (nothing left behind) when it cannot be written whole.
    bool Write(const uint8_t* bytes, size_t size);
    // PutOwnFileInPlace for the written file; false when the installed file is as it was.
    bool Place();
    const std::string& installed() const { return installed_; }

private:
    std::string installed_;
    std::unique_ptr<TempFile> temp_;  // the written content, until it is placed
};
