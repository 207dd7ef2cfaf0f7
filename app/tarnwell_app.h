// The application object: its start-up runs the main window as a modal
// dialog and ends the application when the window closes.
#pragma once

namespace quill {

class CTarnwellApp {
  public:
    CTarnwellApp() = default;

    // Runs the main window until it is closed. Returns false: the application
    // ends without a message loop of its own.
    bool InitInstance();
};

}  // namespace quill
