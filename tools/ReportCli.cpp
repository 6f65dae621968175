// korvane-report: prints the report of one executable on standard output.
#include <clocale>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <string>
#include <string_view>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "Errors.h"
#include "MemoryReportView.h"
#include "ReportDriver.h"
#include "RtfWriter.h"
#include "StreamReportView.h"

namespace {

constexpr const char* Usage = "usage: korvane-report [--rtf] FILE\n";

// The report of a large file is about as large as the file; room reserved
// and never written costs no memory.
void ReserveForFile(korvane::TMemoryReportView& view, const char* path) {
  std::error_code sizeError;
  const auto fileSize = std::filesystem::file_size(path, sizeError);
  if (!sizeError && fileSize < (std::uintmax_t{1} << 30))
    view.Reserve(static_cast<std::size_t>(fileSize) + 4096, static_cast<std::size_t>(fileSize / 32) + 64);
}

// Returns the exit status; a failure leaves its message in failure and the
// lines written before it in the view.
int BuildReport(korvane::TReportView& view, const char* path, std::string& failure) {
  korvane::TReportDriver driver(view);
  try {
    driver.BuildReport(path);
  } catch (const std::exception& error) {
    failure = error.what();
    return 1;
  }
  return 0;
}

} // namespace

int main(int argc, char** argv) {
  std::setlocale(LC_TIME, "");
#ifdef _WIN32
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  bool rtf = false;
  const char* path = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--rtf") == 0 && !rtf) {
      rtf = true;
    } else if (path == nullptr && (argv[i][0] != '-' || argv[i][1] == '\0')) {
      path = argv[i];
    } else {
      std::fputs(Usage, stderr);
      return 2;
    }
  }
  if (path == nullptr) {
    std::fputs(Usage, stderr);
    return 2;
  }

  int status = 0;
  std::string failure;
  if (rtf) {
    korvane::TMemoryReportView view;
    ReserveForFile(view, path);
    status = BuildReport(view, path, failure);
    const std::string document = korvane::ReportToRtf(view);
    std::fwrite(document.data(), 1, document.size(), stdout);
  } else {
    // Plain text goes out as the report grows: the lines written before a
    // failure are out already, and a large report is never held whole.
    korvane::TStreamReportView view(
        [](std::string_view text) { std::fwrite(text.data(), 1, text.size(), stdout); });
    status = BuildReport(view, path, failure);
    view.Finish();
  }
  std::fflush(stdout);
  if (status != 0)
    std::fprintf(stderr, "korvane-report: %s\n", failure.c_str());
  return status;
}
