// SPDX-License-Identifier: GPL-3.0-or-later
// Velkard: the main window over the working folder (the current directory), then the event loop.
// `velkard FILE` opens FILE in the import view once the window is up.
#include "app/CommandLine.h"
#include "app/MainWindow.h"
#include "app/TerminationSignals.h"

#include "ui/Messages.h"

#include <QApplication>
#include <QFileInfo>
#include <QTimer>
#include <cstdio>
#include <new>

namespace {

// A damaged or hostile file that asks for more memory than there is ends the action that read it
// with a message instead of ending the program.
class Application : public QApplication {
public:
    Application(int& argc, char** argv, velkard::ui::Messages& messages)
        : QApplication(argc, argv), messages_(messages) {}
    const velkard::ui::ViewState* state = nullptr;

    bool notify(QObject* receiver, QEvent* event) override {
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::bad_alloc&) {
            const auto l =
                state == nullptr ? velkard::ui::Language::Russian : state->interfaceLanguage();
            messages_.show(
                velkard::ui::translate(
                    l, "Application",
                    QT_TRANSLATE_NOOP("Application", "Недостаточно памяти для этого действия.")),
                velkard::ui::errorCaption(l));
            return false;
        }
    }

private:
    velkard::ui::Messages& messages_;
};

} // namespace

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

    // Message boxes and modal dialogs, handed to the windows.
    velkard::ui::MessageBoxes messages;
    velkard::ui::ModalDialogs dialogs;
    Application app(argc, argv, messages);
    QApplication::setApplicationName("Velkard");
    const auto line = velkard::app::parseCommandLine(QApplication::arguments().mid(1));
    if (line.action == CommandLine::Action::WrongUsage) {
        std::fprintf(stderr, "velkard: %s\n%s", line.error.toLocal8Bit().constData(),
                     velkard::app::helpText().toLocal8Bit().constData());
        return 2;
    }

    // Before the window: the file is named relative to the folder Velkard was started in.
    const QString file = line.file.isEmpty() ? QString() : QFileInfo(line.file).absoluteFilePath();
    velkard::app::MainWindowOptions options;
    options.messages = &messages;
    options.dialogs = &dialogs;
    velkard::app::MainWindow window(std::move(options));
    app.state = &window.viewState();
    if (!window.startedOk()) {
        // A damaged settings file stops the start; the file stays as it is for the user to mend.
        std::fprintf(stderr, "velkard: %s\n", window.startupError().c_str());
        messages.show(QString::fromStdString(window.startupError()), "Velkard");
        return 1;
    }
    // Logout or a closed terminal ends the program as Exit does, keeping a recording under way.
    velkard::app::TerminationSignals terminationSignals;
    QObject::connect(&terminationSignals, &velkard::app::TerminationSignals::received, &window,
                     [&window] {
                         window.endUnattended();
                         QCoreApplication::exit(0); // a modal window's loop ends too
                     });
    window.showMaximized();
    // Recordings a crash or an earlier Exit left unfiled are offered once the window is up.
    QTimer::singleShot(0, &window, [&window] { window.offerUnfiledRecordings(); });
    if (!file.isEmpty())
        QTimer::singleShot(0, &window, [&window, file] { window.importFile(file); });
    return app.exec();
}
