// SPDX-License-Identifier: GPL-3.0-or-later
// What the windows share while the program runs: the interface language, the print-grid flag, the
// filters, the texts of the patient dialogs and the last print range. The main window owns one and
// hands it by reference to the windows and commands it opens; tests make their own. What is shown
// and the card-file selection are the session's (session/Session.h).
#pragma once

#include "filter/Filters.h"
#include "ui/Language.h"

#include <QString>

namespace velkard::ui {

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
    // The interface language (the settings file's language number).
    Language language = Language::Russian;
    bool printGrid = true;   // the parameters dialog's print-grid flag
    bool darkScreen = false; // the screen's ECG on a dark background (the parameters dialog's)
    // Display and print filters (kept in the filter settings file beside the settings file).
    filter::FilterSettings filters = filter::programDefaults();

    PatientTexts patientTexts;
    NewPatientFlags newPatient;
    PrintRangeChoice printRange;

    Language interfaceLanguage() const { return language; }
    void setLanguage(Language l) { language = l; }
    // The Qt-free libraries give their texts in Russian or in English: Russian for the Russian
    // interface, English for any other.
    bool inRussian() const { return language == Language::Russian; }
};

} // namespace velkard::ui
