// riched32.dll comes from the system folder, never from beside the host: a
// copy of this program runs as a host beside a planted riched32.dll. The
// program's main is here too, since it also runs as that host.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>

#include "Harness.h"

namespace {

using namespace korvane::test;

// ---- a riched32.dll planted beside the host ----

// The planted riched32.dll sets this variable in any process that loads it.
constexpr const char* PlantedMark = "KORVANE_PLANTED_RICHED32";
// A copy of this program run with this option is the host beside the plant.
constexpr const char* PlantedHostOption = "--planted-host";

bool PlantLoaded() {
  char mark[16] = {};
  return ::GetEnvironmentVariableA(PlantedMark, mark, sizeof mark) != 0;
}

std::string ModuleFileName(HMODULE module) {
  char path[MAX_PATH + 1] = {};
  const DWORD length = module == nullptr ? 0 : ::GetModuleFileNameA(module, path, MAX_PATH);
  return std::string(path, length);
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); });
  return text;
}

// The host side, in the copy of this program: a viewer shows sample, then
// what the process holds goes to result as "key value" lines. As a control,
// bareFirst loads riched32.dll by its bare name first, as a careless host
// would.
int RunPlantedHost(bool bareFirst, const char* sample, const char* result) {
  const std::unique_ptr<HINSTANCE__, decltype(&::FreeLibrary)> bare(
      bareFirst ? ::LoadLibraryA("riched32.dll") : nullptr, &::FreeLibrary);
  const std::unique_ptr<HWND__, decltype(&::DestroyWindow)> host(
      ::CreateWindowExA(0, "STATIC", "Planted host", WS_OVERLAPPEDWINDOW, 0, 0, 700, 500, nullptr, nullptr,
                        ::GetModuleHandleA(nullptr), nullptr),
      &::DestroyWindow);
  const std::unique_ptr<HWND__, TDestroyViewerWindow> viewer(
      host == nullptr ? nullptr
                      : Module().CreateViewerWindow(host.get(), host.get(), 0, FALSE, nullptr, nullptr, nullptr),
      Module().DestroyViewerWindow);
  std::string error = viewer == nullptr ? LastErrorText() : std::string();
  char kind[korvane::KindTextCapacity + 1] = {};
  const BOOL shown = viewer == nullptr ? FALSE : Module().ShowFile(viewer.get(), sample, kind);
  if (viewer != nullptr && shown == FALSE)
    error = LastErrorText();
  const std::string richEdit = ModuleFileName(::GetModuleHandleA("riched32.dll"));
  const bool planted = PlantLoaded();

  std::ofstream out(result);
  out << "viewer " << (viewer != nullptr ? 1 : 0) << "\n"
      << "shown " << shown << "\n"
      << "kind " << kind << "\n"
      << "richedit " << richEdit << "\n"
      << "planted " << (planted ? "yes" : "no") << "\n"
      << "error " << error << "\n";
  out.flush();
  return out.good() ? 0 : 1;
}

// Wine's own riched32.dll is built in, and by default Wine maps that code
// under the name of a riched32.dll file it finds beside a program. For the
// copied host only, Wine here loads the file, as Windows always does.
// Windows has no use for the key; it goes with the object.
class TWinePrefersFiles {
public:
  explicit TWinePrefersFiles(const std::string& program) : FKey("Software\\Wine\\AppDefaults\\" + program) {
    HKEY opened = nullptr;
    if (::RegCreateKeyExA(HKEY_CURRENT_USER, (FKey + "\\DllOverrides").c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                          &opened, nullptr) != ERROR_SUCCESS)
      return;
    const std::unique_ptr<HKEY__, decltype(&::RegCloseKey)> key(opened, &::RegCloseKey);
    static const char order[] = "native,builtin";
    FSet = ::RegSetValueExA(key.get(), "riched32", 0, REG_SZ, reinterpret_cast<const BYTE*>(order), sizeof order) ==
           ERROR_SUCCESS;
  }
  ~TWinePrefersFiles() { ::RegDeleteTreeA(HKEY_CURRENT_USER, FKey.c_str()); }
  TWinePrefersFiles(const TWinePrefersFiles&) = delete;
  TWinePrefersFiles& operator=(const TWinePrefersFiles&) = delete;

  bool Set() const { return FSet; }

private:
  std::string FKey;
  bool FSet = false;
};

// The exit code of the program, or -1 when it had to be ended after the
// timeout (-2 when it did not start).
long RunProgram(std::string commandLine, const std::string& folder, DWORD timeoutMilliseconds) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!::CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                        &info))
    return -2;
  ::CloseHandle(info.hThread);
  const std::unique_ptr<void, decltype(&::CloseHandle)> process(info.hProcess, &::CloseHandle);
  if (::WaitForSingleObject(info.hProcess, timeoutMilliseconds) != WAIT_OBJECT_0) {
    ::TerminateProcess(info.hProcess, 99);
    ::WaitForSingleObject(info.hProcess, 5000);
    return -1;
  }
  DWORD code = 0;
  ::GetExitCodeProcess(info.hProcess, &code);
  return static_cast<long>(code);
}

std::map<std::string, std::string> ReadKeyValues(const std::string& path) {
  std::map<std::string, std::string> values;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) {
    const std::size_t space = line.find(' ');
    if (space != std::string::npos)
      values[line.substr(0, space)] = line.substr(space + 1);
  }
  return values;
}

// riched32.dll is not a known DLL: loaded by its bare name, the one in the
// host's folder (or the current folder) would run in the host. A copy of
// this program, korvane.dll and the plant share a folder of their own.
TEST(SystemLibraries, TheRichEditComesFromTheSystemFolderNotFromBesideTheHost) {
  const TTempFile sample(TPeBuilder().Build(), "sample.dll");
  const std::string folder = sample.Folder() + "\\";
  const std::string host = folder + "korvane-planted-host.exe";
  const TWinePrefersFiles override("korvane-planted-host.exe");
  ASSERT_TRUE(override.Set());
  const std::string plant = folder + "riched32.dll";
  ASSERT_TRUE(::CopyFileA(ModuleFileName(::GetModuleHandleA(nullptr)).c_str(), host.c_str(), TRUE));
  ASSERT_TRUE(::CopyFileA(ModulePath().c_str(), (folder + "korvane.dll").c_str(), TRUE));
  ASSERT_TRUE(::CopyFileA((ExeFolder() + KORVANE_PLANTED_RICHED32).c_str(), plant.c_str(), TRUE));
  ASSERT_EQ(::GetFileAttributesA((ExeFolder() + "riched32.dll").c_str()), INVALID_FILE_ATTRIBUTES)
      << "nothing planted lies beside the real programs";
  const auto runHost = [&](const char* mode) {
    const std::string result = folder + mode + ".txt";
    const long code = RunProgram("\"" + host + "\" " + PlantedHostOption + " " + mode + " \"" + sample.Path() +
                                     "\" \"" + result + "\"",
                                 folder, 60000);
    EXPECT_EQ(code, 0) << mode;
    return ReadKeyValues(result);
  };

  // The control: a bare name does reach the plant, and the plant is seen.
  auto bare = runHost("bare");
  EXPECT_EQ(bare["planted"], "yes");
  EXPECT_EQ(Lower(bare["richedit"]), Lower(plant));

  auto found = runHost("viewer");
  char folder32[MAX_PATH + 1] = {};
  std::vector<std::string> systemCopies = {
      Lower(std::string(folder32, ::GetSystemDirectoryA(folder32, MAX_PATH)) + "\\riched32.dll")};
  // A 32-bit host on 64-bit Windows is given the WOW64 folder's library.
  if (sizeof(void*) == 4) {
    const UINT length = ::GetSystemWow64DirectoryA(folder32, MAX_PATH);
    if (length > 0 && length < MAX_PATH)
      systemCopies.push_back(Lower(std::string(folder32, length) + "\\riched32.dll"));
  }
  EXPECT_EQ(found["planted"], "no");
  EXPECT_NE(std::find(systemCopies.begin(), systemCopies.end(), Lower(found["richedit"])), systemCopies.end())
      << found["richedit"] << " is not " << systemCopies[0];
  EXPECT_EQ(found["viewer"], "1") << found["error"];
  EXPECT_EQ(found["shown"], "-1") << found["error"];
  EXPECT_EQ(found["kind"], "Portable Executable");
}

// Ends the process if a test hangs in a modal loop: a failure, never a hang.
DWORD WINAPI Watchdog(LPVOID seconds) {
  ::Sleep(static_cast<DWORD>(reinterpret_cast<UINT_PTR>(seconds)) * 1000);
  std::fputs("korvane-viewer-tests: watchdog expired, a UI wait hung\n", stderr);
  std::fflush(stderr);
  ::TerminateProcess(::GetCurrentProcess(), 3);
  return 0;
}

} // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (Module().Handle == nullptr) {
    std::fprintf(stderr, "cannot load %s\n", ModulePath().c_str());
    return 1;
  }
  ::CloseHandle(::CreateThread(nullptr, 0, Watchdog, reinterpret_cast<LPVOID>(UINT_PTR{480}), 0, nullptr));
  if (argc == 5 && std::strcmp(argv[1], PlantedHostOption) == 0)
    return RunPlantedHost(std::strcmp(argv[2], "bare") == 0, argv[3], argv[4]);
  return RUN_ALL_TESTS();
}
