// The module-wide text of the last failure that an entry point caught.
#pragma once

#include <string>

namespace korvane::plugin {

/// Empty when the module is loaded; replaced by every caught failure, never
/// cleared by a successful call.
std::string& LastErrorText();

/// Copies LastErrorText into buffer: at most maxLength - 1 characters and a
/// terminating zero. A null buffer or a maxLength below 1 gets nothing.
void CopyLastErrorText(char* buffer, int maxLength);

} // namespace korvane::plugin
