// The memory of the host's process, as the report fill weighs it.
#include "ProcessMemory.h"

#include <windows.h>

namespace korvane::viewer {

namespace {

// Free, or kept by Wine for the process's own allocations: Wine shows the
// areas it keeps (in a 32-bit process about 1.5 of the 2 GiB) as reserved
// with PAGE_NOACCESS, and VirtualAlloc and the heap take memory from them;
// what a program reserves reads as protection 0 until it is committed.
bool IsAvailable(const MEMORY_BASIC_INFORMATION& region) {
  return region.State == MEM_FREE ||
         (region.State == MEM_RESERVE && region.Protect == PAGE_NOACCESS && region.AllocationProtect == PAGE_NOACCESS &&
          region.AllocationBase == region.BaseAddress);
}

} // namespace

TMemoryStatus ProcessMemoryStatus() {
  TMemoryStatus status;
  SYSTEM_INFO system{};
  ::GetSystemInfo(&system);
  const auto lowest = reinterpret_cast<std::uintptr_t>(system.lpMinimumApplicationAddress);
  const auto highest = reinterpret_cast<std::uintptr_t>(system.lpMaximumApplicationAddress);
  status.AddressSpace = highest > lowest ? std::uint64_t{highest - lowest} + 1 : 0;
  // Every region is at least a page long and the walk only goes up: it ends
  // after at most as many steps as the address space has regions.
  std::uintptr_t address = lowest;
  while (address < highest) {
    MEMORY_BASIC_INFORMATION region{};
    if (::VirtualQuery(reinterpret_cast<const void*>(address), &region, sizeof region) != sizeof region ||
        region.RegionSize == 0)
      break;
    const auto base = reinterpret_cast<std::uintptr_t>(region.BaseAddress);
    const std::uintptr_t end = base + region.RegionSize;
    if (end <= address)
      break;
    if (IsAvailable(region))
      status.FreeAddressSpace += (end > highest ? highest + 1 : end) - address;
    address = end;
  }
  MEMORYSTATUSEX memory{};
  memory.dwLength = sizeof memory;
  if (::GlobalMemoryStatusEx(&memory)) {
    status.Commit = memory.ullTotalPageFile;
    status.FreeCommit = memory.ullAvailPageFile;
  } else {
    // Deliberate: without the figures the address space alone decides.
    status.Commit = status.FreeCommit = UINT64_MAX;
  }
  return status;
}

} // namespace korvane::viewer
