// Win32 side of the image reservation: VirtualAlloc with MEM_RESERVE and
// PAGE_NOACCESS, given back with one MEM_RELEASE.
#include "../ImageMemory.h"

#include <string>
#include <windows.h>

#include "../Errors.h"
#include "../Platform.h"

namespace korvane::platform {

TAddressReservation::TAddressReservation(std::uint32_t size) : FSize(size) {
  void* base = ::VirtualAlloc(nullptr, size, MEM_RESERVE, PAGE_NOACCESS);
  if (base == nullptr) {
    const DWORD code = ::GetLastError();
    throw TOsError(static_cast<int>(code), "The system refused to reserve " + std::to_string(size) +
                                               " bytes of address space for the image (SizeOfImage): " +
                                               TrimSystemText(SystemText(static_cast<int>(code))));
  }
  FBase = reinterpret_cast<std::uintptr_t>(base);
  ++FHeldCount;
}

TAddressReservation::~TAddressReservation() { Release(); }

void TAddressReservation::Release() {
  if (FBase == 0)
    return;
  ::VirtualFree(reinterpret_cast<void*>(FBase), 0, MEM_RELEASE);
  FBase = 0;
  --FHeldCount;
}

} // namespace korvane::platform
