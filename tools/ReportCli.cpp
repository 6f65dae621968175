// korvane-report: prints the report of each executable named on the command line.
#include <clocale>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "Errors.h"
#include "JsonReport.h"
#include "KorvaneVersion.h"
#include "MemoryReportView.h"
#include "Platform.h"
#include "ReportDriver.h"
#include "RtfWriter.h"
#include "StreamReportView.h"

namespace {

constexpr const char* ProgramName = "korvane-report";

constexpr const char* Usage = "usage: korvane-report [--] FILE...\n"
                              "       korvane-report --json [--] FILE...\n"
                              "       korvane-report --rtf [--] FILE\n"
                              "       korvane-report --help | --version\n";

constexpr const char* HelpText = "Prints the report of each Windows executable FILE on standard output:\n"
                                 "its name and kind, its header fields and, for PE32 files, the names it\n"
                                 "exports and the functions it imports.\n"
                                 "\n"
                                 "  --json     write each report as one JSON object on one line (JSON Lines):\n"
                                 "             members file, title, kind, format, dos_header or pe_header,\n"
                                 "             exports (ordinal and stored index), imports and error, the\n"
                                 "             listings of PE32+ files too; texts are the file's bytes,\n"
                                 "             each byte from 0x80 up written as the code point of its value\n"
                                 "  --rtf      write the report as an RTF document (one FILE only)\n"
                                 "  --help     print this help and exit\n"
                                 "  --version  print the version and exit\n"
                                 "  --         end the options: every later argument is a FILE\n"
                                 "\n"
                                 "Several reports follow each other, one empty line between two that have lines.\n"
                                 "A failure is reported on standard error as \"korvane-report: FILE: MESSAGE\"\n"
                                 "after the lines of its report that were written; the other files are still\n"
                                 "reported. LC_TIME sets the format of the time stamp.\n"
                                 "\n"
                                 "Exit status: 0 when every report was written, 1 when any failed, 2 for a\n"
                                 "usage error.\n";

// The engine names the path in its refusal of a device, FIFO or socket; the
// failure line names the file already, so the message keeps only the rest.
// The CLI names the file itself before the message.
constexpr const char* NotRegularMessage = "not a regular file";

struct TCommandLine {
  bool Rtf = false;
  bool Json = false;
  std::vector<const char*> Files;
};

int UsageError(const std::string& reason) {
  std::fprintf(stderr, "%s: %s\n%s", ProgramName, reason.c_str(), Usage);
  return 2;
}

// Reads the arguments into commandLine. Returns the exit status when the run
// ends here (--help, --version, a usage error), nothing when files are to be
// reported.
std::optional<int> ParseCommandLine(int argc, char** argv, TCommandLine& commandLine) {
  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    const char* argument = argv[i];
    // A lone "-" is a file name, as it always was: the tool never reads stdin.
    if (optionsEnded || argument[0] != '-' || argument[1] == '\0') {
      commandLine.Files.push_back(argument);
    } else if (std::strcmp(argument, "--") == 0) {
      optionsEnded = true;
    } else if (std::strcmp(argument, "--help") == 0) {
      std::fputs(Usage, stdout);
      std::fputs("\n", stdout);
      std::fputs(HelpText, stdout);
      return 0;
    } else if (std::strcmp(argument, "--version") == 0) {
      std::printf("%s %s\n", ProgramName, KORVANE_VERSION);
      return 0;
    } else if (std::strcmp(argument, "--rtf") == 0) {
      if (commandLine.Rtf)
        return UsageError("--rtf given twice");
      commandLine.Rtf = true;
    } else if (std::strcmp(argument, "--json") == 0) {
      if (commandLine.Json)
        return UsageError("--json given twice");
      commandLine.Json = true;
    } else {
      return UsageError(std::string("unknown option ") + argument);
    }
  }
  if (commandLine.Files.empty())
    return UsageError("no FILE given");
  if (commandLine.Rtf && commandLine.Json)
    return UsageError("--json and --rtf cannot be given together");
  if (commandLine.Rtf && commandLine.Files.size() > 1)
    return UsageError("--rtf writes the report of one FILE only");
  return std::nullopt;
}

// Returns the exit status; a failure leaves its message in failure and the
// lines written before it in the view.
int BuildReport(korvane::TReportView& view, const char* path, std::string& failure,
                korvane::TReportValues& values = korvane::NoReportValues()) {
  korvane::TReportDriver driver(view, korvane::platform::LocaleDateTimeFormatter(), values);
  try {
    driver.BuildReport(path);
  } catch (const korvane::TNotRegularFileError&) {
    failure = NotRegularMessage;
    return 1;
  } catch (const std::exception& error) {
    failure = error.what();
    return 1;
  }
  return 0;
}

void ReportFailure(const std::string& path, const std::string& failure) {
  std::fprintf(stderr, "%s: %s: %s\n", ProgramName, path.c_str(), failure.c_str());
}

// Reports each file in turn: report(path, failure) writes its output and
// returns its status. A failure goes to stderr after the output of its file.
template <typename Report>
int ReportEach(const std::vector<const char*>& files, Report report) {
  int status = 0;
  for (const char* path : files) {
    std::string failure;
    const int reportStatus = report(path, failure);
    std::fflush(stdout);
    if (reportStatus != 0) {
      ReportFailure(path, failure);
      status = reportStatus;
    }
  }
  return status;
}

int ReportRtf(const char* path) {
  return ReportEach({path}, [](const char* file, std::string& failure) {
    korvane::TMemoryReportView view;
    const int status = BuildReport(view, file, failure);
    const std::string document = korvane::ReportToRtf(view);
    std::fwrite(document.data(), 1, document.size(), stdout);
    return status;
  });
}

// Plain text goes out as each report grows: the lines written before a
// failure are out already, and a large report is never held whole. An empty
// line goes before a report's first line when an earlier report wrote any,
// so reports without lines (an empty file, a file that cannot be opened)
// leave no trace on stdout.
int ReportPlain(const std::vector<const char*>& files) {
  bool anyWritten = false;
  return ReportEach(files, [&anyWritten](const char* path, std::string& failure) {
    bool reportStarted = false;
    korvane::TStreamReportView view([&](std::string_view text) {
      if (text.empty())
        return;
      if (!reportStarted) {
        reportStarted = true;
        if (anyWritten)
          std::fputc('\n', stdout);
        anyWritten = true;
      }
      std::fwrite(text.data(), 1, text.size(), stdout);
    });
    const int status = BuildReport(view, path, failure);
    view.Finish();
    return status;
  });
}

// One JSON object a file, on a line of its own, written as the report is:
// a failure ends the object with its "error" member after what was written.
int ReportJson(const std::vector<const char*>& files) {
  korvane::TJsonReport json([](std::string_view text) { std::fwrite(text.data(), 1, text.size(), stdout); });
  return ReportEach(files, [&json](const char* path, std::string& failure) {
    int status = 0;
    json.WriteLine(path, [&]() -> std::optional<std::string> {
      korvane::TNullReportView view;
      status = BuildReport(view, path, failure, json);
      if (status != 0)
        return failure;
      return std::nullopt;
    });
    return status;
  });
}

} // namespace

int main(int argc, char** argv) {
  std::setlocale(LC_TIME, "");
#ifdef _WIN32
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  TCommandLine commandLine;
  if (const auto status = ParseCommandLine(argc, argv, commandLine))
    return *status;
  if (commandLine.Json)
    return ReportJson(commandLine.Files);
  return commandLine.Rtf ? ReportRtf(commandLine.Files.front()) : ReportPlain(commandLine.Files);
}
