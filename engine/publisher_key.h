// The publisher's public key compiled into this build (the CMake setting
// UPDATER_PUBLISHER_KEY). A build without one trusts files as before and checks nothing.
#pragma once

#include "engine/signature.h"

// nullptr when the build has no key.
const PublisherKey* BuiltInPublisherKey();
// Tests only: makes BuiltInPublisherKey return `key`; nullptr restores the built-in one.
void SetPublisherKeyForTesting(const PublisherKey* key);
