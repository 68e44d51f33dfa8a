// SPDX-License-Identifier: GPL-3.0-or-later
// At start, the recordings a crash, a power cut or an Exit during Write left in the card file
// without an entry: each one whose patient is known is offered for filing into that patient's
// archive; one declined, or whose patient is unknown, is set aside in DATA_BASE/unfiled/ (never
// deleted) and the user is told where it went. Questions and messages go through the seams.
#pragma once

#include "ui/Language.h"
#include "ui/Messages.h"

#include <QString>
#include <filesystem>
#include <functional>

class QWidget;

namespace velkard::cardfile::ui {

// workDir holds DATA_BASE. filed is told "Сохранено: <patient>, № N, S с" for each recording filed
// (the main window shows it in its status bar). skip, when given, passes over recordings the
// caller has just kept itself and told the user of.
void offerUnfiledRecordings(velkard::ui::Seams seams, velkard::ui::Language language,
                            const std::filesystem::path& workDir,
                            const std::function<void(const QString&)>& filed, QWidget* owner,
                            const std::function<bool(const std::filesystem::path&)>& skip = {});

} // namespace velkard::cardfile::ui
