// The process-wide values that every bilingual window and the print job read, in one place.
#pragma once

namespace velkard::ui {

struct AppFlags {
    bool russian = true;      // the interface is Russian (language setting 0)
    bool printGrid = true;    // the parameters dialog's print-grid flag
    bool cardReview = false;  // a card-file recording is shown for review
    bool rhythmogram = false; // the shown recording is a rhythmogram
    bool importView = false;  // the shown recording came from Import
    bool kindA2 = false;      // the shown recording is of kind A2
};

AppFlags& flags();

// Chooses the text of the current interface language.
inline const char* tr2(const char* russian, const char* english) {
    return flags().russian ? russian : english;
}

} // namespace velkard::ui
