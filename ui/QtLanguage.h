// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's switch between Russian and English: installs the program's and Qt's
// translations of the language (see Language.h). Kept for the main window until it switches
// through useLanguage() itself, with German beside the two.
#pragma once

namespace velkard::ui {

class QtLanguage {
public:
    // Installs the Russian or the English translations and default locale. False when a
    // translation cannot be found.
    bool apply(bool russian);
};

} // namespace velkard::ui
