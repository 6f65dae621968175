// The kind of the file last reported and its text for the host.
#pragma once

#include <cstdint>

namespace korvane {

/// Held as a 32-bit integer: 0 MS-DOS program, 1 Portable Executable.
enum class TFileKind : std::int32_t { MsDos = 0, PortableExecutable = 1 };

/// "MS DOS Executable" or "Portable Executable".
const char* FileKindText(TFileKind kind);

} // namespace korvane
