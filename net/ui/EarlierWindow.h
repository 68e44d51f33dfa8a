// SPDX-License-Identifier: GPL-3.0-or-later
// Earlier ECGs of a patient from the archive: the patient's ECG studies in the PACS (Study Root
// C-FIND by the hospital patient ID kept beside the card, else by name and birth date, asked on a
// worker thread with a progress dialog), one row a study; Open fetches the chosen study (C-GET)
// into the workstation's cache (net::fetchStudy) and names its ECG waveform for the main window
// to open in the import view; of a study with several, the user chooses one (EcgChoiceDialog).
#pragma once

#include "cardfile/CardFile.h"
#include "cardfile/ui/CardFileWindow.h"
#include "net/Dicom.h"
#include "ui/Messages.h"
#include "ui/ViewState.h"

#include <QDialog>
#include <filesystem>
#include <functional>
#include <vector>

class QLabel;
class QPushButton;
class QTreeWidget;

namespace velkard::net::ui {

// One ECG waveform of a fetched study as the chooser lists it, read from the file.
struct FetchedEcg {
    std::filesystem::path file;
    bool read = false;    // false: the file does not read as an ECG (why: in `error`)
    std::string acquired; // dd.MM.yyyy hh:mm:ss, empty when the file does not say
    std::string series;   // series number and description
    int leads = 0;        // standard leads present
    double seconds = 0;   // duration
    std::string error;
};
// Reads what the chooser shows of each file (the waveforms themselves with the DICOM reader),
// ordered by acquisition time (unknown ones last, in the order they came).
std::vector<FetchedEcg> describeEcgs(const std::vector<std::filesystem::path>& files);

// Which ECG of a study to open: date, time, series, leads and duration of each; Open takes the
// selected one.
class EcgChoiceDialog : public QDialog {
    Q_OBJECT
public:
    EcgChoiceDialog(const velkard::ui::ViewState& state, std::vector<FetchedEcg> ecgs,
                    QWidget* parent = nullptr);
    void applyLanguage(velkard::ui::Language language);

    QTreeWidget* ecgList;
    QPushButton* openButton;
    QPushButton* cancelButton;
    const std::vector<FetchedEcg>& ecgs() const { return ecgs_; }
    // The file chosen (after Open closed the dialog); empty otherwise.
    const std::filesystem::path& chosen() const { return chosen_; }

public slots:
    void choose();

protected:
    void changeEvent(QEvent* event) override;

private:
    const velkard::ui::ViewState& state_;
    std::vector<FetchedEcg> ecgs_;
    std::filesystem::path chosen_;
};

class EarlierWindow : public QDialog {
    Q_OBJECT
public:
    EarlierWindow(const velkard::ui::ViewState& state, velkard::ui::Seams seams,
                  std::filesystem::path workDir, cardfile::PatientRecord patient,
                  QWidget* parent = nullptr);

    void applyLanguage(velkard::ui::Language language);

    // The studies: date, time, description, accession number, ECG instances.
    QTreeWidget* studyList;
    QLabel* statusLabel; // how many studies, or why there are none
    QPushButton* refreshButton;
    QPushButton* openButton;
    QPushButton* closeButton;

    // Asks the archive for the patient's ECG studies and lists them; what went wrong (not set
    // up, not reached, refused, nothing found) is said in the status line and as a message.
    void query();
    const std::vector<StudyItem>& studies() const { return studies_; }
    // The ECG file fetched by Open (after Open closed the window); empty otherwise.
    const std::filesystem::path& opened() const { return opened_; }

public slots:
    void open();

protected:
    void changeEvent(QEvent* event) override;

private:
    QString say(const char* source) const;
    void fill();
    void tell(const QString& text, const QString& caption);
    const velkard::ui::ViewState& state_;
    velkard::ui::Seams seams_;
    std::filesystem::path workDir_;
    cardfile::PatientRecord patient_;
    std::vector<StudyItem> studies_;
    std::filesystem::path opened_;
};

// Shows the earlier ECGs of `patient`; returns the ECG file fetched, empty when none was.
std::filesystem::path showEarlier(const velkard::ui::ViewState& state, velkard::ui::Seams seams,
                                  const std::filesystem::path& workDir,
                                  const cardfile::PatientRecord& patient, QWidget* owner);

// Gives the card-file window its "Ранее снятые ЭКГ" button: the fetched ECG goes to `open`
// (the main window closes the card file and shows it).
void offerEarlier(cardfile::ui::CardFileWindow& window, velkard::ui::Seams seams,
                  const velkard::ui::ViewState& state,
                  std::function<void(const std::filesystem::path&)> open);

} // namespace velkard::net::ui
