// Helpers for driving the main window headless: a working folder, the message and dialog seams,
// the settings file read back as UTF-8 lines.
#pragma once

#include "app/Ventrix.h"
#include "app/shared/AppFlags.h"
#include "app/shared/Messages.h"
#include "signal/Cp1251.h"
#include "signal/Settings.h"

#include <QStringList>
#include <QTemporaryDir>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <memory>

namespace velkard::app::test {

inline std::string readFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void writeFile(const std::filesystem::path& p, const std::string& bytes) {
    std::ofstream(p, std::ios::binary) << bytes;
}

// The settings file's lines as UTF-8 (CR LF ends each line).
inline QStringList settingsLines(const std::filesystem::path& folder) {
    const std::string bytes = readFile(folder / signal::kSettingsFileName);
    QStringList lines = QString::fromStdString(signal::cp1251ToUtf8(bytes)).split("\r\n");
    if (!lines.isEmpty() && lines.back().isEmpty())
        lines.removeLast();
    return lines;
}

inline void writeSettingsLines(const std::filesystem::path& folder, const QStringList& lines) {
    std::string bytes;
    for (const QString& l : lines)
        bytes += signal::utf8ToCp1251(l.toStdString()) + "\r\n";
    writeFile(folder / signal::kSettingsFileName, bytes);
}

class AppTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    std::filesystem::path work() const { return dir.path().toStdString(); }

    VentrixOptions options() const {
        VentrixOptions o;
        o.workDir = work();
        o.caps = display::DeviceCaps{1024, 320, 768, 240};
        o.printerExists = false;
        return o;
    }

    std::unique_ptr<TVentrix> makeWindow() {
        auto w = std::make_unique<TVentrix>(options());
        if (w->startedOk()) {
            w->resize(1024, 768);
            w->show();
        }
        return w;
    }

    QTemporaryDir dir;
    ui::RecordingMessages messages;
    ui::ScopedMessages scopedMessages{&messages};
    ui::ScriptedDialogs dialogs;
    ui::ScopedDialogs scopedDialogs{&dialogs};
};

} // namespace velkard::app::test
