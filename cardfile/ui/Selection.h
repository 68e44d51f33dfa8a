// The card-file selection: what the card-file window hands to the rest of the program (the main
// window, acquisition, printing and the memory window). It outlives the window that sets it.
#pragma once

#include <QString>

namespace velkard::cardfile::ui {

struct Selection {
    int patientIndex = -1;     // row of the selected patient in the patient list (index order)
    QString patientId;         // 8 characters, as stored ("%8lx", may start with spaces)
    QString patientName;       // name of the selected patient, for the printed header
    int entryIndex = -1;       // row of the selected archive entry
    QString entryDate;         // 10 characters, set by Open
    QString entryTime;         // 8 characters, set by Open
    int entryDuration = 0;     // seconds, set by Open (not for a rhythmogram)
    int recordNumber = 0;      // number chosen by Write for the new recording
    QString recordingPath;     // the recording file: <working folder>/DATA_BASE/<id>_<n>.dat
    QString kindMarker;        // "  ", "A2" or "RT" of the opened entry
    bool writeRequest = false; // Write was pressed with a patient selected
};

Selection& selection();

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

PatientTexts& patientTexts();

// Result and request flags of the new-patient dialog (see TNew_patient).
struct NewPatientFlags {
    bool patientCreated = false; // the last showing ended with a created patient
    bool selfAppend = false;     // the caller asks OK to append the record itself (one showing)
};

NewPatientFlags& newPatientFlags();

} // namespace velkard::cardfile::ui
