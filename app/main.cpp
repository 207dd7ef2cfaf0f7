// quillmere: the DTU configuration tool. No settings files; the command line
// only answers --help and --version (the manual page is made from them),
// before any window exists.
#include <QApplication>
#include <cstdio>
#include <string_view>

#include "app/tarnwell_app.h"

namespace {
quill::CTarnwellApp theApp;

constexpr const char* kUsage =
    "Usage: quillmere [--help | --version]\n"
    "\n"
    "Configures a GPRS data terminal unit (DTU) over a serial line. Pick the\n"
    "port the DTU is on and open it: the tool talks at 57600 bit/s 8N1, waits\n"
    "for the DTU to announce itself, reads its parameters into the form and\n"
    "writes the ticked fields back. The window is in Simplified Chinese. The\n"
    "last entry of the port list starts a simulated DTU inside the tool, for\n"
    "trying it without hardware.\n"
    "\n"
    "  --help      show this text\n"
    "  --version   show the version\n";
}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--version") {
            std::printf("quillmere %s\n", QUILLMERE_VERSION);
            return 0;
        }
    }
    QApplication application(argc, argv);
    theApp.InitInstance();
    return 0;
}
