// The kind of the file last reported and its text for the host.
#include "FileKind.h"

namespace korvane {

namespace {
constexpr const char* FileKindTexts[] = {"MS DOS Executable", "Portable Executable"};
}

const char* FileKindText(TFileKind kind) { return FileKindTexts[static_cast<int>(kind)]; }

} // namespace korvane
