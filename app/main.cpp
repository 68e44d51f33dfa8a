// SPDX-License-Identifier: GPL-3.0-or-later
// Velkard: the main window over the working folder (the current directory), then the event loop.
// `velkard FILE` opens FILE in the import view once the window is up.
#include "app/CommandLine.h"
#include "app/MainWindow.h"

#include "memory/ui/DeviceFileList.h"
#include "ui/Messages.h"

#include <QApplication>
#include <QFileInfo>
#include <QTimer>
#include <cstdio>

int main(int argc, char** argv) {
    using velkard::app::CommandLine;
    // Help and version need no display: answered before Qt looks for one.
    if (const auto early = velkard::app::helpOrVersion(argc, argv);
        early != CommandLine::Action::Run) {
        const QString text = early == CommandLine::Action::PrintVersion
                                 ? velkard::app::versionText()
                                 : velkard::app::helpText();
        std::fputs(text.toLocal8Bit().constData(), stdout);
        return 0;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName("Velkard");
    const auto line = velkard::app::parseCommandLine(QApplication::arguments().mid(1));
    if (line.action == CommandLine::Action::WrongUsage) {
        std::fprintf(stderr, "velkard: %s\n%s", line.error.toLocal8Bit().constData(),
                     velkard::app::helpText().toLocal8Bit().constData());
        return 2;
    }

    // Before the window: the file is named relative to the folder Velkard was started in.
    const QString file = line.file.isEmpty() ? QString() : QFileInfo(line.file).absoluteFilePath();
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
    if (!file.isEmpty())
        QTimer::singleShot(0, &window, [&window, file] { window.importFile(file); });
    return app.exec();
}
