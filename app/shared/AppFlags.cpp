#include "app/shared/AppFlags.h"

namespace velkard::ui {

AppFlags& flags() {
    static AppFlags f;
    return f;
}

} // namespace velkard::ui
