// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/QtLanguage.h"

#include "ui/Language.h"

namespace velkard::ui {

bool QtLanguage::apply(bool russian) {
    return useLanguage(russian ? Language::Russian : Language::English);
}

} // namespace velkard::ui
