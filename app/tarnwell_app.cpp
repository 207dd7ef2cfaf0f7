#include "app/tarnwell_app.h"

#include <memory>

#include "app/tarnwell_dlg.h"

namespace quill {

bool CTarnwellApp::InitInstance() {
    // Destroying the window at the end of this scope also ends the serial
    // engine it owns, closing any open port.
    auto window = std::make_unique<CTarnwellDlg>();
    window->exec();
    return false;
}

}  // namespace quill
