// korvane-report: prints the report of one executable on standard output.
#include <clocale>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <string>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "Errors.h"
#include "MemoryReportView.h"
#include "ReportDriver.h"
#include "RtfWriter.h"

namespace {

constexpr const char* Usage = "usage: korvane-report [--rtf] FILE\n";

// The view keeps its lines joined by line feeds already: one write, plus the
// break of a last line that has none.
void WriteLines(const korvane::TMemoryReportView& view) {
  const std::string& text = view.Text();
  std::fwrite(text.data(), 1, text.size(), stdout);
  if (!text.empty() && text.back() != '\n')
    std::fputc('\n', stdout);
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

  korvane::TMemoryReportView view;
  // The report of a large file is about as large as the file; room reserved
  // and never written costs no memory.
  std::error_code sizeError;
  const auto fileSize = std::filesystem::file_size(path, sizeError);
  if (!sizeError && fileSize < (std::uintmax_t{1} << 30))
    view.Reserve(static_cast<std::size_t>(fileSize) + 4096, static_cast<std::size_t>(fileSize / 32) + 64);
  korvane::TReportDriver driver(view);
  int status = 0;
  std::string failure;
  try {
    driver.BuildReport(path);
  } catch (const std::exception& error) {
    failure = error.what();
    status = 1;
  }
  if (rtf) {
    const std::string document = korvane::ReportToRtf(view);
    std::fwrite(document.data(), 1, document.size(), stdout);
  } else {
    WriteLines(view);
  }
  std::fflush(stdout);
  if (status != 0)
    std::fprintf(stderr, "korvane-report: %s\n", failure.c_str());
  return status;
}
