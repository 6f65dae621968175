// Reports every file of a folder whole and cut at 20 points (length × k / 21,
// k = 1 to 20), all in one process, each cut with its last byte at the end of
// a readable page: every report must succeed or fail cleanly.
// Usage: korvane-sweep FOLDER
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>

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

} // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: korvane-sweep FOLDER\n", stderr);
    return 2;
  }
  int files = 0, reported = 0, failed = 0, bad = 0;
  for (const auto& entry : std::filesystem::directory_iterator(argv[1])) {
    if (!entry.is_regular_file())
      continue;
    std::ifstream in(entry.path(), std::ios::binary);
    const test::TBytes bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const std::string name = entry.path().filename().string();
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
  std::printf("%d files, %d reports (whole and cut at 20 points): %d reported, %d failed cleanly, %d bad\n", files,
              21 * files, reported, failed, bad);
  return files > 0 && bad == 0 ? 0 : 1;
}
