#include "cardfile/ui/Selection.h"

namespace velkard::cardfile::ui {

Selection& selection() {
    static Selection s;
    return s;
}

PatientTexts& patientTexts() {
    static PatientTexts t;
    return t;
}

NewPatientFlags& newPatientFlags() {
    static NewPatientFlags f;
    return f;
}

} // namespace velkard::cardfile::ui
