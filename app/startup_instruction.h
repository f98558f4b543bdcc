// curver.dat, the one-shot start-up instruction: read through the pack library (a loose
// file beside the tool wins over the copy inside patch.dat) and consumed.
#pragma once

#include "app/startup_rules.h"

// Sets up the pack library for reading installation files: root ".", work path "\", open
// mode disk first (a loose file beside the tool wins over its copy in a pack).
void PrepareInstallationPackAccess();

// Sets up the pack library (root ".", work path "\", open mode disk first), opens
// patch.dat if it can, and reads curver.dat when it is smaller than
// kStartupInstructionBufferSize bytes; a loose curver.dat that was read is deleted. Every
// pack is closed again before returning. A missing or too large file gives the default
// instruction (no override, no wait).
StartupInstruction ConsumeStartupInstruction();
