// Velkard: the main window over the working folder (the current directory), then the event loop.
#include "app/MainWindow.h"

#include "memory/ui/DeviceFileList.h"
#include "ui/Messages.h"

#include <QApplication>
#include <cstdio>
#include <new>

namespace {

// A damaged or hostile file that asks for more memory than there is ends the action that read it
// with a message instead of ending the program.
class Application : public QApplication {
public:
    using QApplication::QApplication;
    const velkard::ui::ViewState* state = nullptr;

    bool notify(QObject* receiver, QEvent* event) override {
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::bad_alloc&) {
            const bool russian = state == nullptr || state->russian;
            velkard::ui::messages().show(
                russian ? QString::fromUtf8("Недостаточно памяти для этого действия.")
                        : QStringLiteral("There is not enough memory for this action."),
                russian ? QString::fromUtf8("Ошибка") : QStringLiteral("Error"));
            return false;
        }
    }
};

} // namespace

int main(int argc, char** argv) {
    Application app(argc, argv);
    QApplication::setApplicationName("Velkard");

    velkard::app::MainWindow window;
    app.state = &window.viewState();
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
