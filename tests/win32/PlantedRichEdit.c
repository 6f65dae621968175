/* A file named riched32.dll that a test plants beside a copy of its host: no
   rich edit at all, it only leaves a mark in any process that loads it. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  (void)instance;
  (void)reserved;
  if (reason == DLL_PROCESS_ATTACH)
    SetEnvironmentVariableA("KORVANE_PLANTED_RICHED32", "loaded");
  return TRUE;
}
