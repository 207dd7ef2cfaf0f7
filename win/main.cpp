// quillmere.exe: the DTU configuration tool's native Windows window. No
// command line, no settings files; the window runs modally and the process
// ends when it closes.
#include <windows.h>
// After <windows.h>, whose types they use.
#include <commctrl.h>
#include <objbase.h>

#include "win/tarnwell_dlg.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    // The accessibility runtime's annotation of the controls' names is a COM service.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    // Destroying the window object at the end of this scope also ends the
    // serial engine it owns, closing any open port.
    quill::win::CTarnwellDlg window;
    window.DoModal();
    if (SUCCEEDED(com)) CoUninitialize();
    return 0;
}
