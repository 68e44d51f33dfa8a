// SPDX-License-Identifier: GPL-3.0-or-later
// Commands that draw text need a QGuiApplication for fonts; without a display the offscreen
// platform serves, so they run on a server or in a test as well as on a desktop.
#pragma once

#include <QGuiApplication>
#include <memory>

namespace velkard::cli {

// Creates the application unless one exists already (then returns null).
inline std::unique_ptr<QGuiApplication> guiApplication() {
    if (QCoreApplication::instance())
        return nullptr;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "velkard-cli";
    static char* argv[] = {name, nullptr};
    return std::make_unique<QGuiApplication>(argc, argv);
}

} // namespace velkard::cli
