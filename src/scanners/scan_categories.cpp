#include "scanners/scan_categories.h"

#include "scanners/shell_extensions.h"
#include "scanners/user_traces.h"
#include "scanners/com_classes.h"
#include "scanners/installed_programs.h"
#include "scanners/value_lists.h"

namespace tavik {

namespace {

void ScanProgramsCategory(const CategoryRun& run) {
  ScanInstalledPrograms(run.context, run.list);
}

void ScanSharedDllsCategory(const CategoryRun& run) {
  ScanSharedDlls(run.context, run.list,
                 u"Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs");
  ScanSharedDlls(
      run.context, run.list,
      u"Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs");
}

void ScanStartupCategory(const CategoryRun& run) {
  ScanStartupFiles(run.context, run.list);
}

void ScanDriversCategory(const CategoryRun& run) {
  ScanSystemDrivers(run.context, run.list,
                    u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32");
  ScanSystemDrivers(
      run.context, run.list,
      u"SOFTWARE\\Wow6432Node\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32");
}

void ScanFontsCategory(const CategoryRun& run) {
  ScanFonts(run.context, run.list,
            u"Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts");
  ScanFonts(run.context, run.list,
            u"Software\\Wow6432Node\\Microsoft\\Windows NT\\CurrentVersion\\Fonts");
}

void ScanHelpFilesCategory(const CategoryRun& run) {
  ScanHelpFiles(run.context, run.list, u"SOFTWARE\\Microsoft\\Windows\\HTML Help");
  ScanHelpFiles(run.context, run.list, u"SOFTWARE\\Microsoft\\Windows\\Help");
  ScanHelpFiles(run.context, run.list,
                u"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\HTML Help");
  ScanHelpFiles(run.context, run.list,
                u"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\Help");
}

void ScanSoundsCategory(const CategoryRun& run) {
  ScanSoundEvents(run.context, run.list, kHkeyCurrentUser, kSoundSchemesPath);
}

// Shortcuts are resolved through the shell's link object, which needs a COM
// apartment on the scan thread; it is never left, the thread ends with the
// scan.
void ScanRecentDocumentsCategory(const CategoryRun& run) {
  run.host.JoinComApartment();
  ScanRecentDocuments(run.context, run.list);
  ScanMuiCacheKey(run.context, run.list, kShellNoRoamMuiCachePath);
  ScanMuiCacheKey(run.context, run.list, kShellMuiCachePath);
}

void ScanObjectsAndControlsCategory(const CategoryRun& run) {
  ScanShellExtensions(run.context, run.list);
}

void ScanClassesCategory(const CategoryRun& run) {
  ScanClasses(run.context, run.list);
}

}  // namespace

const ScanCategoryTable kScanCategories = {{
    {u"Scan Programs", ScanProgramsCategory},
    {u"Scan Shared DLLs", ScanSharedDllsCategory},
    {u"Scan Startup Files", ScanStartupCategory},
    {u"Scan System Drivers", ScanDriversCategory},
    {u"Scan Windows Fonts", ScanFontsCategory},
    {u"Scan Windows Help Files", ScanHelpFilesCategory},
    {u"Scan Windows Sound Files", ScanSoundsCategory},
    {u"Scan Recent Documents", ScanRecentDocumentsCategory},
    {u"Scan Objects and Controls", ScanObjectsAndControlsCategory},
    {u"Scan Classes and IDs", ScanClassesCategory},
}};

}  // namespace tavik
