// Pack entry names: the in-place case folding every producer of pack ids applies, and the
// 32-bit id a folded name is indexed under.
#pragma once

#include <cstdint>

// Folds `name` in place: ASCII upper-case letters become lower case, except a byte that
// follows a byte >= 0x80 (the second byte of a GBK character), which is left as it is.
void FoldPakName(char* name);

// The id of an already folded name.
uint32_t CalcFileId(const char* foldedName);

// Folds a copy of `name` and returns its id (the name itself is left unchanged).
uint32_t CalcFoldedFileId(const char* name);
