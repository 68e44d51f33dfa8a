// SPDX-License-Identifier: GPL-3.0-or-later
// What the windows share while the program runs: the interface language, the print-grid flag,
// what the main window shows, the card-file selection, the texts of the patient dialogs and the
// last print range. The main window owns one and hands it by reference to the windows and commands
// it opens; tests make their own.
#pragma once

#include "filter/Filters.h"
#include "ui/Language.h"

#include <QString>

namespace velkard::ui {

// The card-file selection: what the card-file and memory windows hand to the rest of the program
// (the main window, acquisition, printing). It outlives the window that sets it.
struct CardSelection {
    int patientIndex = -1;     // row of the selected patient in the patient list (index order)
    QString patientId;         // 8 characters, as stored ("%8lx", may start with spaces)
    QString patientName;       // name of the selected patient, for the printed header
    QString patientBirthDate;  // the patient's birth date as stored, for the title and the report
    int entryIndex = -1;       // row of the selected archive entry
    QString entryDate;         // 10 characters, set by Open
    QString entryTime;         // 8 characters, set by Open
    int entryDuration = 0;     // seconds, set by Open (not for a rhythmogram)
    int recordNumber = 0;      // number chosen by Write for the new recording
    QString recordingPath;     // the recording file: <working folder>/DATA_BASE/<id>_<n>.dat
    QString kindMarker;        // "  ", "A2" or "RT" of the opened entry
    bool writeRequest = false; // Write was pressed with a patient selected
};

// The seven texts of the patient dialogs, kept up to date while the user types; the card-file
// window takes them over after a dialog closes.
struct PatientTexts {
    QString name;
    QString sex;
    QString birthDate;
    QString birthplace;
    QString address;
    QString telephone;
    QString policy;
};

// Result and request flags of the new-patient dialog.
struct NewPatientFlags {
    bool patientCreated = false; // the last showing ended with a created patient
    bool selfAppend = false;     // the caller asks OK to append the record itself (one showing)
};

// The print range dialog's choice; it lives on between print jobs.
struct PrintRangeChoice {
    bool all = true;
    QString beginText;
    QString endText;
    bool report = false;    // the one-page 12-lead report instead of the pages of the recording
    QString reportFromText; // its first second (the main window puts the shown page's first)
};

struct ViewState {
    bool russian = true; // the interface is Russian (language setting 0)
    // Which language when not Russian; setLanguage() keeps the two together. `russian` stays for
    // the libraries that take a Russian-or-English flag and for the main window's own texts.
    Language language = Language::Russian;
    bool printGrid = true;    // the parameters dialog's print-grid flag
    bool cardReview = false;  // a card-file recording is shown for review
    bool rhythmogram = false; // the shown recording is a rhythmogram
    bool importView = false;  // the shown recording came from Import
    bool kindA2 = false;      // the shown recording is of kind A2
    // Display and print filters (kept in the filter settings file beside the settings file).
    filter::FilterSettings filters = filter::programDefaults();

    CardSelection selection;
    PatientTexts patientTexts;
    NewPatientFlags newPatient;
    PrintRangeChoice printRange;

    // The interface language: Russian while `russian`, otherwise `language` (English when a caller
    // cleared only `russian`).
    Language interfaceLanguage() const {
        if (russian)
            return Language::Russian;
        return language == Language::Russian ? Language::English : language;
    }
    void setLanguage(Language l) {
        language = l;
        russian = l == Language::Russian;
    }

    // Chooses the text of the current interface language. Only the main window still uses it; its
    // texts are to go through the translation files like every other window's, then this goes.
    const char* tr2(const char* russianText, const char* englishText) const {
        return russian ? russianText : englishText;
    }
};

} // namespace velkard::ui
