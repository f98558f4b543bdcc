// The version a Windows program carries in its version resource, as the tool counts its own
// (2.23 is 223), and the plug-in version the reference plug-in reports with its sample
// settings.
#pragma once

#include <cstddef>
#include <cstdint>

// The "platfrom version" of platformcfg/reference/updatecfg.ini: plug-in 1.00.
constexpr int64_t kReferencePluginVersion = 10000;

// Finds the fixed file information of the version resource in `bytes` and gives its file
// version major.minor as major * 100 + minor. False when there is none (not a program of
// ours, or one built without version information). Any bytes are a safe input.
bool ReadProgramVersion(const uint8_t* bytes, size_t size, int64_t& version);
