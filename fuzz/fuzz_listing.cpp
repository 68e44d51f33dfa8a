// SPDX-License-Identifier: GPL-3.0-or-later
// Listing blocks from the instrument: the parser must never crash, never yield a name that does not
// fit the name buffer, and give the same entries however the reply is cut into pieces.
#include "memory/Listing.h"

#include <cstdlib>

using namespace velkard::memory;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Listing whole = parseListing(data, size);
    for (const std::string& e : whole.entries) {
        // The entry text, "/" of a folder included, fits the name buffer with its zero.
        if (e.empty() || e.size() + 1 > kNameBufferBytes)
            std::abort();
        if (e.find('>') != std::string::npos)
            std::abort();
        if (checkDownloadName(e) == NameProblem::None &&
            (e.find('/') != std::string::npos || e == ".." || e == "."))
            std::abort();
        (void)printableName(e);
    }

    const std::size_t cut = size == 0 ? 0 : data[0] % size;
    ListingParser pieces;
    pieces.feed(data, cut);
    pieces.feed(data + cut, size - cut);
    const Listing split = pieces.finish();
    if (split.entries != whole.entries || split.refusedTooLong != whole.refusedTooLong ||
        split.refusedEmpty != whole.refusedEmpty)
        std::abort();
    return 0;
}
