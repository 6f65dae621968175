// Move-only owners of Win32 handles; each traits type names its "no handle" value.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <utility>

namespace korvane::viewer {

template <typename Traits>
class TUniqueHandle {
public:
  using THandle = typename Traits::THandle;

  TUniqueHandle() = default;
  explicit TUniqueHandle(THandle handle) : FHandle(handle) {}
  ~TUniqueHandle() { Reset(); }
  TUniqueHandle(TUniqueHandle&& other) noexcept : FHandle(other.Release()) {}
  TUniqueHandle& operator=(TUniqueHandle&& other) noexcept {
    if (this != &other)
      Reset(other.Release());
    return *this;
  }
  TUniqueHandle(const TUniqueHandle&) = delete;
  TUniqueHandle& operator=(const TUniqueHandle&) = delete;

  THandle Get() const { return FHandle; }
  bool Valid() const { return FHandle != Traits::Invalid(); }
  THandle Release() { return std::exchange(FHandle, Traits::Invalid()); }
  void Reset(THandle handle = Traits::Invalid()) {
    if (FHandle != Traits::Invalid())
      Traits::Close(FHandle);
    FHandle = handle;
  }

private:
  THandle FHandle = Traits::Invalid();
};

struct TWindowTraits {
  using THandle = HWND;
  static HWND Invalid() { return nullptr; }
  // A window may already be gone with its parent.
  static void Close(HWND window) {
    if (::IsWindow(window))
      ::DestroyWindow(window);
  }
};
using TWindow = TUniqueHandle<TWindowTraits>;

struct TMenuTraits {
  using THandle = HMENU;
  static HMENU Invalid() { return nullptr; }
  static void Close(HMENU menu) { ::DestroyMenu(menu); }
};
using TMenu = TUniqueHandle<TMenuTraits>;

struct TFontTraits {
  using THandle = HFONT;
  static HFONT Invalid() { return nullptr; }
  static void Close(HFONT font) { ::DeleteObject(font); }
};
using TFont = TUniqueHandle<TFontTraits>;

struct TImageListTraits {
  using THandle = HIMAGELIST;
  static HIMAGELIST Invalid() { return nullptr; }
  static void Close(HIMAGELIST list) { ::ImageList_Destroy(list); }
};
using TImageList = TUniqueHandle<TImageListTraits>;

struct TLibraryTraits {
  using THandle = HMODULE;
  static HMODULE Invalid() { return nullptr; }
  static void Close(HMODULE module) { ::FreeLibrary(module); }
};
using TLibrary = TUniqueHandle<TLibraryTraits>;

struct TGlobalTraits {
  using THandle = HGLOBAL;
  static HGLOBAL Invalid() { return nullptr; }
  static void Close(HGLOBAL memory) { ::GlobalFree(memory); }
};
using TGlobalMemory = TUniqueHandle<TGlobalTraits>;

/// Fonts selected into a DC one after another; the DC's own font comes back
/// when the selection goes. The fonts must outlive it.
class TFontSelection {
public:
  explicit TFontSelection(HDC dc) : FDc(dc) {}
  TFontSelection(HDC dc, HFONT font) : FDc(dc) { Select(font); }
  ~TFontSelection() {
    if (FOld != nullptr)
      ::SelectObject(FDc, FOld);
  }
  TFontSelection(const TFontSelection&) = delete;
  TFontSelection& operator=(const TFontSelection&) = delete;

  void Select(HFONT font) {
    const HGDIOBJ old = ::SelectObject(FDc, font);
    // HGDI_ERROR, spelled so that its all-ones value is not converted from
    // an unsigned constant.
    if (FOld == nullptr && old != reinterpret_cast<HGDIOBJ>(static_cast<LONG_PTR>(-1)))
      FOld = old;
  }

private:
  HDC FDc;
  HGDIOBJ FOld = nullptr;
};

/// A window's DC, given back when it goes; Get() is nullptr when none was given.
class TWindowDc {
public:
  explicit TWindowDc(HWND window) : FWindow(window), FDc(::GetDC(window)) {}
  ~TWindowDc() {
    if (FDc != nullptr)
      ::ReleaseDC(FWindow, FDc);
  }
  TWindowDc(const TWindowDc&) = delete;
  TWindowDc& operator=(const TWindowDc&) = delete;
  HDC Get() const { return FDc; }

private:
  HWND FWindow;
  HDC FDc;
};

struct TAcceleratorTraits {
  using THandle = HACCEL;
  static HACCEL Invalid() { return nullptr; }
  static void Close(HACCEL table) { ::DestroyAcceleratorTable(table); }
};
using TAcceleratorTable = TUniqueHandle<TAcceleratorTraits>;

struct TDcTraits {
  using THandle = HDC;
  static HDC Invalid() { return nullptr; }
  static void Close(HDC dc) { ::DeleteDC(dc); }
};
using TPrinterDc = TUniqueHandle<TDcTraits>;

/// The wait cursor while a step holds the message loop; the cursor that was
/// shown before comes back when it goes.
class TWaitCursor {
public:
  TWaitCursor() : FOld(::SetCursor(::LoadCursorA(nullptr, MAKEINTRESOURCEA(32514)))) {} // IDC_WAIT
  ~TWaitCursor() { ::SetCursor(FOld); }
  TWaitCursor(const TWaitCursor&) = delete;
  TWaitCursor& operator=(const TWaitCursor&) = delete;

private:
  HCURSOR FOld;
};

} // namespace korvane::viewer
