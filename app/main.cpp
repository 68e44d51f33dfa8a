// Velkard: the main window over the working folder (the current directory), then the event loop.
#include "app/MainWindow.h"

#include "memory/ui/DeviceFileList.h"
#include "ui/Messages.h"

#include <QApplication>
#include <cstdio>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Velkard");

    velkard::app::MainWindow window;
    if (!window.startedOk()) {
        // A damaged settings file stops the start; the file stays as it is for the user to mend.
        std::fprintf(stderr, "velkard: %s\n", window.startupError().c_str());
        velkard::ui::messages().show(QString::fromStdString(window.startupError()), "Velkard");
        return 1;
    }
    // The device file list lives, hidden, until the end; memory connections show it modally.
    velkard::memory::ui::DeviceFileList deviceFileList(window.viewState());
    deviceFileList.hide();
    window.showMaximized();
    return app.exec();
}
