// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/MemoryHook.h"

#include "sim/MemoryCard.h"

#include <memory>
#include <system_error>

namespace velkard::sim {

Status attachMemoryCard(Instrument& instrument, const std::string& cardDir) {
    if (!cardDir.empty()) {
        std::error_code ec;
        if (!std::filesystem::is_directory(cardDir, ec))
            return Status::failure(ErrorCode::CannotOpen,
                                   "memory card folder " + cardDir + " does not exist");
    }
#ifdef VELKARD_SIM_NO_MEMORY_CARD
    // Built without the card: memory mode answers nothing.
    (void)instrument;
    return Status::success();
#else
    auto card = std::make_shared<MemoryCard>(cardDir.empty() ? std::filesystem::path()
                                                             : std::filesystem::path(cardDir));
    const Faults& faults = instrument.faults();
    card->faults().cardMissing = faults.noCard;
    card->faults().strayWhenIdle = faults.strayReply;
    card->faults().stallInBlock = faults.stallBlock;
    card->faults().dropByteInBlock = faults.dropByte;
    card->faults().extraByteInBlock = faults.extraByte;
    instrument.setMemoryHandler(
        [card](std::uint8_t b, std::vector<std::uint8_t>& reply) { card->onHostByte(b, reply); });
    return Status::success();
#endif
}

} // namespace velkard::sim
