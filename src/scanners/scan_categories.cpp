#include "scanners/scan_categories.h"

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

}  // namespace

// Categories still without a scanner: Sounds
// (sound events), RecentDocuments (joins a COM apartment, then recent
// documents and the two MUI caches), ObjectsAndControls (shell and browser
// extensions) and ClassesAndIds (COM classes and file types).
const ScanCategoryTable kScanCategories = {{
    {u"Scan Programs", ScanProgramsCategory},
    {u"Scan Shared DLLs", ScanSharedDllsCategory},
    {u"Scan Startup Files", ScanStartupCategory},
    {u"Scan System Drivers", ScanDriversCategory},
    {u"Scan Windows Fonts", ScanFontsCategory},
    {u"Scan Windows Help Files", ScanHelpFilesCategory},
    {u"Scan Windows Sound Files", nullptr},
    {u"Scan Recent Documents", nullptr},
    {u"Scan Objects and Controls", nullptr},
    {u"Scan Classes and IDs", nullptr},
}};

}  // namespace tavik
