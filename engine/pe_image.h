// A look at a downloaded tool or plug-in before it replaces the installed one: is it a
// Windows program of this build's architecture, and does a plug-in export the factory the
// tool asks for? Only the headers and the export table are read (nothing is loaded or run);
// every offset in the file is checked against its size, so any bytes are a safe input.
#pragma once

#include <cstddef>
#include <cstdint>

// COFF machine numbers.
constexpr uint16_t kPeMachineI386 = 0x014C;
constexpr uint16_t kPeMachineAmd64 = 0x8664;
// The machine this build's programs are made for (the tool only ever installs its own kind).
#if defined(__x86_64__) || defined(_M_X64)
constexpr uint16_t kOwnPeMachine = kPeMachineAmd64;
#else
constexpr uint16_t kOwnPeMachine = kPeMachineI386;
#endif

enum class PeKind { kProgram, kLibrary };

// True when `bytes` are a PE image of `machine` of the given kind: a program (not a DLL),
// or a DLL whose export table names `requiredExport` (null: any DLL).
bool IsPeImageOf(const uint8_t* bytes, size_t size, uint16_t machine, PeKind kind, const char* requiredExport);
