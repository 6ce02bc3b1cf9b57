// Opening a file or address as the signed-in user from this elevated
// process: the desktop's shell (Explorer, which runs with the user's own
// rights) is asked to open it, so the program that opens it does not
// inherit this process's administrator rights.
#pragma once

namespace tavik {

enum class DesktopShellAnswer {
  kAsked,        // the desktop's shell took the request
  kUnavailable,  // no desktop shell to ask; nothing was started
};

// IShellWindows::FindWindowSW (SWC_DESKTOP, SWFO_NEEDDISPATCH), its top-level
// IShellBrowser, the active IShellView's background IShellFolderViewDual,
// its IShellDispatch2 application, and ShellExecute(file, "", "", verb,
// show) there. kUnavailable when a step before ShellExecute fails: no
// Explorer running, or a shell without these interfaces. Joins the calling
// thread to a COM apartment for the call when it has none.
DesktopShellAnswer ShellExecuteThroughDesktop(const wchar_t* file,
                                              const wchar_t* verb, int show);

}  // namespace tavik
