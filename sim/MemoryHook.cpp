// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/MemoryHook.h"

#include "sim/MemoryCard.h"

#include <memory>
#include <system_error>

namespace velkard::sim {

bool attachMemoryCard(Instrument& instrument, const std::string& cardDir, std::string& error) {
    if (!cardDir.empty()) {
        std::error_code ec;
        if (!std::filesystem::is_directory(cardDir, ec)) {
            error = "memory card folder " + cardDir + " does not exist";
            return false;
        }
    }
#ifdef VELKARD_SIM_NO_MEMORY_CARD
    // Built without the card: memory mode answers nothing.
    (void)instrument;
    return true;
#else
    auto card = std::make_shared<MemoryCard>(cardDir.empty() ? std::filesystem::path()
                                                             : std::filesystem::path(cardDir));
    card->faults().cardMissing = instrument.faults().noCard;
    instrument.setMemoryHandler(
        [card](std::uint8_t b, std::vector<std::uint8_t>& reply) { card->onHostByte(b, reply); });
    return true;
#endif
}

} // namespace velkard::sim
