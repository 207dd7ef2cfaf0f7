// quillmere.exe: the DTU configuration tool's native Windows window. No
// command line, no settings files; the window runs modally and the process
// ends when it closes.
#include <windows.h>
// After <windows.h>, whose types they use.
#include <commctrl.h>

#include "win/tarnwell_dlg.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    // Destroying the window object at the end of this scope also ends the
    // serial engine it owns, closing any open port.
    quill::win::CTarnwellDlg window;
    window.DoModal();
    return 0;
}
