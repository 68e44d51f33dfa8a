// SPDX-License-Identifier: GPL-3.0-or-later
// Connects the simulated instrument's memory mode to a memory card folder.
#pragma once

#include "sim/Instrument.h"
#include "sim/MemoryCard.h"

#include <memory>
#include <mutex>
#include <string>

namespace velkard::sim {

// Serves cardDir in memory mode (an empty cardDir: a card with no files; the no-card fault: no card
// at all). Fails with CannotOpen and a message when the folder cannot be used.
Status attachMemoryCard(Instrument& instrument, const std::string& cardDir);

// A card that several instruments of one process serve in turn (each link of the in-process
// simulated instrument gets the same card, so a file deleted stays deleted); calls are serialised.
struct SharedCard {
    std::mutex lock;
    MemoryCard card;
};
// Serves the shared card in memory mode, with the instrument's faults applied to it.
void attachMemoryCard(Instrument& instrument, std::shared_ptr<SharedCard> shared);
// The sample card (sampleCardFiles()) held in memory: nothing is written to disk.
std::shared_ptr<SharedCard> makeSampleCard();

} // namespace velkard::sim
