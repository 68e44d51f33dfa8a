// SPDX-License-Identifier: GPL-3.0-or-later
#include "memory/ui/tests/MemoryUiTestSupport.h"

#include "sim/MemoryHook.h"

#include <gtest/gtest.h>

namespace velkard::memory::ui::test {

std::unique_ptr<links::SimLink> simInstrument(const std::filesystem::path& cardDir,
                                              sim::Faults faults) {
    auto link = std::make_unique<links::SimLink>(1, faults);
    link->withInstrument([&](sim::Instrument& instrument) {
        const Status attached = sim::attachMemoryCard(instrument, cardDir.string());
        EXPECT_TRUE(attached.ok()) << attached.message;
    });
    return link;
}

} // namespace velkard::memory::ui::test
