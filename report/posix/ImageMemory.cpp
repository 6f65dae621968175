// POSIX side of the image reservation: an anonymous PROT_NONE mapping that
// reserves no swap, so no page of it is ever backed.
#include "../ImageMemory.h"

#include <cerrno>
#include <cstring>
#include <string>
#include <sys/mman.h>

#include "../Errors.h"

namespace korvane::platform {

TAddressReservation::TAddressReservation(std::uint32_t size) : FSize(size) {
  void* base =
      size == 0 ? MAP_FAILED : ::mmap(nullptr, size, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (base == MAP_FAILED) {
    const int code = size == 0 ? EINVAL : errno;
    throw TOsError(code, "The system refused to reserve " + std::to_string(size) +
                             " bytes of address space for the image (SizeOfImage): " + std::strerror(code));
  }
  FBase = reinterpret_cast<std::uintptr_t>(base);
  ++FHeldCount;
}

TAddressReservation::~TAddressReservation() { Release(); }

void TAddressReservation::Release() {
  if (FBase == 0)
    return;
  ::munmap(reinterpret_cast<void*>(FBase), FSize);
  FBase = 0;
  --FHeldCount;
}

} // namespace korvane::platform
