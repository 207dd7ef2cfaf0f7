// quillmere-screenshot OUT.png [about]: renders the main window (or the about
// box) offscreen and writes it as a PNG. Used for the README's picture.
#include <QApplication>
#include <QDeadlineTimer>
#include <QImage>
#include <QPixmap>
#include <QWindow>
#include <cstdio>
#include <cstring>

#include "app/about_dlg.h"
#include "app/tarnwell_dlg.h"

namespace {

bool RenderTo(QWidget& widget, const char* path) {
    widget.show();
    // Let the window be laid out and painted before grabbing it.
    const QDeadlineTimer deadline(5000);
    while (!deadline.hasExpired() &&
           (widget.windowHandle() == nullptr || !widget.windowHandle()->isExposed()))
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    QCoreApplication::processEvents();
    const QPixmap picture = widget.grab();
    if (picture.isNull() || !picture.save(QString::fromLocal8Bit(path), "PNG")) {
        std::fprintf(stderr, "quillmere-screenshot: cannot write %s\n", path);
        return false;
    }
    std::printf("%s: %dx%d\n", path, picture.width(), picture.height());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3 || (argc == 3 && std::strcmp(argv[2], "about") != 0)) {
        std::fprintf(stderr, "usage: quillmere-screenshot OUT.png [about]\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    quill::CTarnwellDlg window;
    if (argc == 3) {
        quill::CAboutDlg about(window.appIcon, &window);
        return RenderTo(about, argv[1]) ? 0 : 1;
    }
    return RenderTo(window, argv[1]) ? 0 : 1;
}
