// quillmere: the DTU configuration tool. No command line, no settings files.
#include <QApplication>

#include "app/tarnwell_app.h"

namespace {
quill::CTarnwellApp theApp;
}

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    theApp.InitInstance();
    return 0;
}
