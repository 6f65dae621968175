// The memory of the host's process, as the report fill weighs it.
#pragma once

#include "FillBudget.h"

namespace korvane::viewer {

/// The process's address space and what of it is free, found by walking its
/// regions (Wine's GlobalMemoryStatusEx gives a fixed free address space),
/// and the system's commit limit and what is left of it.
TMemoryStatus ProcessMemoryStatus();

} // namespace korvane::viewer
