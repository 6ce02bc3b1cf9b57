// Tavik Registry Cleaner: the window program. Runs the main window modally;
// the process ends when it closes.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include "app/main_window.h"

namespace tavik {

// The application object: prepares the common controls and runs the main
// window.
class CRegistryCleanerApp {
 public:
  // Returns the exit code; no message loop runs after the window.
  int InitInstance() {
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof(controls);  // 8
    controls.dwICC = 0xFF;
    ::InitCommonControlsEx(&controls);
    // File tests must never stop a scan with a "no disk in drive" box.
    ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    // ActiveX hosting for the banner needs OLE on this thread.
    ::OleInitialize(nullptr);
    static CRegistryCleanerDlg window;
    window.DoModal(nullptr);
    return 0;
  }
};

}  // namespace tavik

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  tavik::CRegistryCleanerApp app;
  // Workers still running end with the process: nothing waits for them.
  ::ExitProcess(static_cast<UINT>(app.InitInstance()));
}
