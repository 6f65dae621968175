// Reports every PE file (one that starts with "MZ") found under the given
// folders whole and cut at 20 points (length × k / 21, k = 1 to 20), all in
// one process, each cut with its last byte at the end of a readable page:
// every report must succeed or fail cleanly. Absent folders are passed over;
// at least one file must be found.
// Usage: korvane-sweep FOLDER...
#include <algorithm>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>
#include <vector>

#include "Errors.h"
#include "ReportDriver.h"
#include "TestSupport.h"

namespace {

using namespace korvane;

enum class TResult { Reported, Failed, Bad };

TResult Report(const test::TBytes& bytes, std::size_t length, const std::string& name) {
  const test::TGuardedBytes guarded(test::TBytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length)));
  TMemoryReportView view;
  TReportDriver driver(view, test::IsoFormatter());
  try {
    if (length > 0)
      driver.ReportMappedFile(guarded.View(), name);
    return TResult::Reported;
  } catch (const TKorvaneError&) {
    return view.LineText(0) == name ? TResult::Failed : TResult::Bad;
  } catch (const std::exception& error) {
    std::printf("BAD: %s cut at %zu: %s\n", name.c_str(), length, error.what());
    return TResult::Bad;
  }
}

// The regular files under a folder, in name order; none when the folder is
// absent or cannot be read.
std::vector<std::filesystem::path> FilesUnder(const std::filesystem::path& folder) {
  std::vector<std::filesystem::path> files;
  std::error_code error;
  std::filesystem::recursive_directory_iterator it(folder, error), end;
  for (; !error && it != end; it.increment(error))
    if (it->is_regular_file(error))
      files.push_back(it->path());
  std::sort(files.begin(), files.end());
  return files;
}

} // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs("usage: korvane-sweep FOLDER...\n", stderr);
    return 2;
  }
  int files = 0, reported = 0, failed = 0, bad = 0;
  for (int arg = 1; arg < argc; ++arg) {
    for (const auto& path : FilesUnder(argv[arg])) {
      std::ifstream in(path, std::ios::binary);
      char magic[2] = {};
      if (!in.read(magic, 2) || magic[0] != 'M' || magic[1] != 'Z')
        continue;
      in.seekg(0);
      const test::TBytes bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
      const std::string name = path.filename().string();
      ++files;
      for (std::size_t k = 1; k <= 21; ++k) {
        const std::size_t length = k == 21 ? bytes.size() : bytes.size() * k / 21;
        switch (Report(bytes, length, name)) {
        case TResult::Reported:
          ++reported;
          break;
        case TResult::Failed:
          ++failed;
          break;
        case TResult::Bad:
          ++bad;
          break;
        }
      }
    }
  }
  if (files == 0) {
    std::fputs("no PE files found; looked in:", stdout);
    for (int arg = 1; arg < argc; ++arg)
      std::printf(" %s", argv[arg]);
    std::puts("");
    return 1;
  }
  std::printf("%d files, %d reports (whole and cut at 20 points): %d reported, %d failed cleanly, %d bad\n", files,
              21 * files, reported, failed, bad);
  return bad == 0 ? 0 : 1;
}
