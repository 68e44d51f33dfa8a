// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/MemoryHook.h"

#include "sim/DeviceFiles.h"

#include <system_error>

namespace velkard::sim {

namespace {

void applyFaults(const Faults& faults, MemoryCard& card) {
    card.faults().cardMissing = faults.noCard;
    card.faults().strayWhenIdle = faults.strayReply;
    card.faults().stallInBlock = faults.stallBlock;
    card.faults().dropByteInBlock = faults.dropByte;
    card.faults().extraByteInBlock = faults.extraByte;
}

} // namespace

Status attachMemoryCard(Instrument& instrument, const std::string& cardDir) {
    if (!cardDir.empty()) {
        std::error_code ec;
        if (!std::filesystem::is_directory(cardDir, ec))
            return Status::failure(ErrorCode::CannotOpen,
                                   "memory card folder " + cardDir + " does not exist");
    }
    auto card = std::make_shared<MemoryCard>(cardDir.empty() ? std::filesystem::path()
                                                             : std::filesystem::path(cardDir));
    applyFaults(instrument.faults(), *card);
    instrument.setMemoryHandler(
        [card](std::uint8_t b, std::vector<std::uint8_t>& reply) { card->onHostByte(b, reply); });
    return Status::success();
}

void attachMemoryCard(Instrument& instrument, std::shared_ptr<SharedCard> shared) {
    {
        std::lock_guard guard(shared->lock);
        applyFaults(instrument.faults(), shared->card);
    }
    instrument.setMemoryHandler([shared](std::uint8_t b, std::vector<std::uint8_t>& reply) {
        std::lock_guard guard(shared->lock);
        shared->card.onHostByte(b, reply);
    });
}

std::shared_ptr<SharedCard> makeSampleCard() {
    auto shared = std::make_shared<SharedCard>();
    for (const SampleFile& file : sampleCardFiles())
        shared->card.addFile(file.name, std::string(file.bytes.begin(), file.bytes.end()));
    return shared;
}

} // namespace velkard::sim
