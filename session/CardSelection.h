// SPDX-License-Identifier: GPL-3.0-or-later
// The card-file selection and what the card-file window closes with.
#pragma once

#include <QString>

namespace velkard::session {

// The patient and the recording chosen in the card file (or the patient chosen in the memory
// window): what acquisition, review, the title and printing use. The session holds the one the
// main window works with; a window edits its own copy and hands it back.
struct CardSelection {
    int patientIndex = -1;    // row of the selected patient in the patient list (index order)
    QString patientId;        // 8 characters, as stored ("%8lx", may start with spaces)
    QString patientName;      // name of the selected patient, for the printed header
    QString patientBirthDate; // the patient's birth date as stored, for the title and the report
    QString patientSex;       // the patient's sex as stored ("Муж", "Жен", or as typed)
    int entryIndex = -1;      // row of the selected archive entry
    QString entryDate;        // 10 characters, set by Open
    QString entryTime;        // 8 characters, set by Open
    int entryDuration = 0;    // seconds, set by Open (not for a rhythmogram)
    int recordNumber = 0;     // number chosen by Write (the next free one; the filed one at Save)
    QString recordingPath;    // the recording file: <working folder>/DATA_BASE/<id>_<n>.dat
    QString kindMarker;       // "  ", "A2" or "RT" of the opened entry
};

// The request the card-file window closes with.
enum class CardRequest {
    None,            // OK, Esc or close: nothing new is shown
    Write,           // Write on a patient: monitor, then record a new ECG
    OpenRecording,   // Open on an ECG entry (plain or A2)
    OpenRhythmogram, // Open on a rhythmogram entry
};

struct CardFileChoice {
    CardRequest request = CardRequest::None;
    bool kindA2 = false; // the opened ECG entry is of kind A2
    // A deletion renumbered or removed recordings: the path an earlier Open chose may name another
    // recording now, so it must not be shown again.
    bool forgotOpened = false;
};

} // namespace velkard::session
