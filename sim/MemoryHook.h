// SPDX-License-Identifier: GPL-3.0-or-later
// Connects the simulated instrument's memory mode to a memory card folder.
#pragma once

#include "sim/Instrument.h"

#include <string>

namespace velkard::sim {

// Serves cardDir in memory mode (an empty cardDir: a card with no files; the no-card fault: no card
// at all). Fails with CannotOpen and a message when the folder cannot be used.
Status attachMemoryCard(Instrument& instrument, const std::string& cardDir);

} // namespace velkard::sim
