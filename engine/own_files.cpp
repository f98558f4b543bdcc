#include "engine/own_files.h"

#include <utility>

#include "net/local_file.h"
#include "platformcfg/update_cfg.h"
#include "platform/platform.h"

bool IsRunnableOwnFile(const uint8_t* bytes, size_t size, PeKind kind) {
    return IsPeImageOf(bytes, size, kOwnPeMachine, kind, kind == PeKind::kLibrary ? kUpdateCfgFactoryExport : nullptr);
}

bool PluginNeedsUpdate(int32_t installed, int32_t offered) {
    return installed / kPluginVersionBase != offered / kPluginVersionBase ||
           installed % kPluginVersionBase < offered % kPluginVersionBase;
}

bool PutOwnFileInPlace(const std::string& temp, const std::string& installed) {
    if (platform::ReplaceFileAtomic(temp.c_str(), installed.c_str())) return true;
    if (!platform::FileExists(installed.c_str())) return platform::RenameFile(temp.c_str(), installed.c_str());
    const std::string aside = installed + kSelfUpdateAsideSuffix;
    platform::RemoveFile(aside.c_str());
    if (!platform::RenameFile(installed.c_str(), aside.c_str())) return false;
    if (platform::RenameFile(temp.c_str(), installed.c_str())) return true;
    platform::RenameFile(aside.c_str(), installed.c_str());
    return false;
}

void RemoveOwnFileLeftovers() {
    for (const char* name : {kInstalledToolName, kInstalledPluginName}) {
        const std::string aside = std::string(name) + kSelfUpdateAsideSuffix;
        if (platform::FileExists(aside.c_str())) platform::RemoveFile(aside.c_str());
    }
}

StagedOwnFile::StagedOwnFile(std::string installed) : installed_(std::move(installed)) {}

StagedOwnFile::~StagedOwnFile() = default;

bool StagedOwnFile::Write(const uint8_t* bytes, size_t size) {
    // A new empty file under a name the system picks: no file of the installation is touched.
    temp_ = std::make_unique<TempFile>(CreateTempFileBeside(installed_.c_str()));
    if (!temp_->empty() && WriteWholeLocalFile(temp_->c_str(), bytes, size)) return true;
    temp_.reset();
    return false;
}

bool StagedOwnFile::Place() {
    if (!temp_) return false;
    // A read-only or hidden installed file would refuse the replacement.
    if (platform::FileExists(installed_.c_str())) platform::SetFileAttributesNormal(installed_.c_str());
    if (!PutOwnFileInPlace(temp_->path(), installed_)) return false;
    temp_->Keep();
    temp_.reset();
    return true;
}
