// Win32 side of the image reservation: VirtualAlloc with MEM_RESERVE and
// PAGE_NOACCESS, given back with one MEM_RELEASE.
#include "../ImageMemory.h"

#include <string>
#include <windows.h>

#include "../Errors.h"
#include "../Platform.h"

namespace korvane::platform {

namespace {

// The system's text without its closing full stop and line break: it ends
// a sentence of ours.
std::string ClauseText(DWORD code) {
  std::string text = SystemText(static_cast<int>(code));
  while (!text.empty() && (static_cast<unsigned char>(text.back()) <= 32 || text.back() == '.'))
    text.pop_back();
  return text;
}

} // namespace

TAddressReservation::TAddressReservation(std::uint32_t size) : FSize(size) {
  void* base = ::VirtualAlloc(nullptr, size, MEM_RESERVE, PAGE_NOACCESS);
  if (base == nullptr) {
    const DWORD code = ::GetLastError();
    throw TOsError(static_cast<int>(code), "The system refused to reserve " + std::to_string(size) +
                                               " bytes of address space for the image (SizeOfImage): " +
                                               ClauseText(code));
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
