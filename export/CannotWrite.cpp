// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/Writers.h"

namespace velkard::exporting::detail {

Status cannotWrite(const std::filesystem::path& target, const std::string& why) {
    return Status::failure(ErrorCode::CannotWrite, "Cannot write " + target.string() + ": " + why);
}

} // namespace velkard::exporting::detail
