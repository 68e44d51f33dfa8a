// SPDX-License-Identifier: GPL-3.0-or-later
// What the main window shows. The session holds the one value; the display is handed it with each
// call that draws differently by it and never changes it.
#pragma once

namespace velkard {

enum class Shown {
    Nothing,       // an empty drawing area (start, after the memory window, a closed card file)
    Live,          // a patient was chosen for a new recording: the live sweep (monitor, record)
    CardRecording, // a recording of the card file under review
    Imported,      // a recording from Import (or Import chosen, not yet loaded)
    Rhythmogram,   // a rhythmogram, from the card file or Import: bars, no selectors
};

struct View {
    Shown shown = Shown::Nothing;
    bool kindA2 = false; // the shown recording is of kind A2 (its leads after 8040 records are raw)

    // A recording's pages are shown (card file or import).
    bool review() const { return shown == Shown::CardRecording || shown == Shown::Imported; }
    bool rhythmogram() const { return shown == Shown::Rhythmogram; }
    bool operator==(const View&) const = default;
};

} // namespace velkard
