// Address space reserved for a loaded image: its start decides the image's
// Delta. Nothing in the range is committed, so its size costs no memory.
#pragma once

#include <cstdint>

namespace korvane::platform {

/// A range of address space reserved from the system and not accessible.
/// Construction raises TOsError when the system refuses the reservation
/// (a size of 0 is refused as well); the destructor gives the range back.
class TAddressReservation {
public:
  explicit TAddressReservation(std::uint32_t size);
  ~TAddressReservation();
  TAddressReservation(const TAddressReservation&) = delete;
  TAddressReservation& operator=(const TAddressReservation&) = delete;

  std::uintptr_t Base() const { return FBase; }
  /// Gives the range back now; later calls do nothing.
  void Release();

  /// Reservations held by the process now: what a leak would show.
  static int HeldCount() { return FHeldCount; }

private:
  static inline int FHeldCount = 0;

  std::uintptr_t FBase = 0;
  std::uint32_t FSize = 0;
};

} // namespace korvane::platform
