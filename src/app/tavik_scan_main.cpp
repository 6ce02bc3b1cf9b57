// tavik-scan: runs one registry scan over the live registry and file system
// and prints the findings. It only reports; it never deletes anything.
#include <windows.h>

#include <cstdlib>
#include <string>
#include <string_view>
#include <thread>

#include "app/console_ports.h"
#include "app/json_report.h"
#include "app/recording_ports.h"
#include "app/scan_options_store.h"
#include "engine/scan_run.h"
#include "engine/shared_flags.h"
#include "platform/win32/win32_file_system.h"
#include "platform/win32/win32_registry.h"
#include "scanners/scan_categories.h"

namespace {

constexpr int kExitScanned = 0;
constexpr int kExitUsage = 2;

constexpr std::string_view kHelpText =
    "Usage: tavik-scan [--json] [--no-cache] | --help\n"
    "\n"
    "Scans the registry for entries that point at files, programs and\n"
    "classes that no longer exist, and prints one line per finding:\n"
    "Type, Root Key, Path and Value Name separated by tabs, followed by\n"
    "the line \"Total Invalid Entries Found: N\". Output is UTF-8.\n"
    "Names are printed as stored: a name holding a tab or a line break\n"
    "splits its line. Use --json where that matters.\n"
    "\n"
    "--json prints one JSON object per finding and line, with the keys\n"
    "\"type\", \"root\", \"path\", \"valueName\" (as stored, \"\" for keys\n"
    "and default values), \"category\" (Programs, SharedDlls, Startup,\n"
    "Drivers, Fonts, HelpFiles, Sounds, RecentDocuments,\n"
    "ObjectsAndControls or ClassesAndIds) and \"reason\": why the entry\n"
    "is listed, as {\"kind\": ..., \"detail\": ...}, the kind one of\n"
    "file-missing, folder-missing, shortcut-missing, shortcut-unreadable,\n"
    "shortcut-target-missing, class-not-registered, progid-not-registered,\n"
    "appid-not-registered, key-empty, uninstall-entry-without-values,\n"
    "uninstall-entry-without-strings, cache-entry-without-uninstall-entry,\n"
    "extension-not-in-use, empty-class-extension or\n"
    "app-path-without-program, the detail what was looked for and where;\n"
    "then {\"count\":N}.\n"
    "\n"
    "--no-cache judges every entry with the file system and registry\n"
    "calls as they stand, without the scan's caches; the rows are the\n"
    "same, only slower.\n"
    "\n"
    "It only reports: nothing is deleted or changed.\n"
    "\n"
    "The categories to scan are read from the values \"1\" to \"10\" of\n"
    "HKEY_LOCAL_MACHINE\\Software\\Tavik Software\\Registry Cleaner\n"
    "(\"0\" turns a category off; missing values leave it on).\n"
    "Key prefixes listed in \"RCExclude.txt\" beside this program\n"
    "(UTF-16LE, one per line) are never reported.\n";

bool IsHelpArgument(std::wstring_view argument) {
  return argument == L"--help" || argument == L"-h" || argument == L"-?";
}

enum class ReportFormat { kRows, kJson };

int RunScanAndPrint(ReportFormat format, bool useCaches) {
  // File tests must never stop the scan with a "no disk in drive" box.
  ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  tavik::Win32Registry registry;
  tavik::Win32FileSystem files;
  tavik::ScanOptions options;
  tavik::LoadScanOptions(registry, options);

  tavik::StopRequested = 0;
  tavik::AutomationMode = 0;
  tavik::RecordingResultsView results;
  tavik::ConsoleHost host;
  tavik::FindingList written;
  const tavik::ScanEnvironment environment{
      registry, files, options, tavik::kScanCategories, tavik::StopRequested,
      tavik::AutomationMode, results, host, &written, useCaches};
  // TAVIK_SCAN_CACHE_STATS set: what the caches did goes to stderr, for the
  // benchmarks.
  tavik::ScanCacheReport cacheReport;
  tavik::ScanEnvironment reporting = environment;
  const bool stats = ::_wgetenv(L"TAVIK_SCAN_CACHE_STATS") != nullptr;
  if (stats) reporting.cacheReport = &cacheReport;
  // The scan runs on its own worker thread, as it does behind the window.
  std::thread worker([&reporting] { tavik::ScanThreadMain(reporting); });
  worker.join();
  if (stats) {
    const auto& f = cacheReport.files;
    tavik::WriteOutput(
        tavik::OutputStream::kError,
        "cache: passes=" + std::to_string(cacheReport.passes) +
            " listings=" + std::to_string(f.listings) +
            " present=" + std::to_string(f.answeredPresent) +
            " absent=" + std::to_string(f.answeredAbsent) +
            " passed_through=" + std::to_string(f.passedThrough) +
            " drive_types_kept=" + std::to_string(f.driveTypesKept) +
            " confirm_listings=" + std::to_string(f.confirmListings) +
            " confirm_ms=" +
            std::to_string(static_cast<long>(cacheReport.confirmMilliseconds)) +
            " registry_opens_asked=" +
            std::to_string(cacheReport.registry.opensAsked) +
            " registry_opens_real=" +
            std::to_string(cacheReport.registry.realOpens) + "\n");
  }

  tavik::WriteOutput(tavik::OutputStream::kOut,
                     format == ReportFormat::kJson
                         ? tavik::FormatJsonReport(written)
                         : tavik::FormatScanReport(results.rows, host.messages));
  return kExitScanned;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc == 2 && IsHelpArgument(argv[1])) {
    tavik::WriteOutput(tavik::OutputStream::kOut, kHelpText);
    return kExitScanned;
  }
  ReportFormat format = ReportFormat::kRows;
  bool useCaches = true;
  for (int i = 1; i < argc; ++i) {
    const std::wstring_view argument(argv[i]);
    if (argument == L"--json" && format == ReportFormat::kRows) {
      format = ReportFormat::kJson;
    } else if (argument == L"--no-cache" && useCaches) {
      useCaches = false;
    } else {
      tavik::WriteOutput(tavik::OutputStream::kError,
                         "tavik-scan: unexpected argument; "
                         "run \"tavik-scan --help\" for usage.\n");
      return kExitUsage;
    }
  }
  return RunScanAndPrint(format, useCaches);
}
