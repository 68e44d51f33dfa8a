// SPDX-License-Identifier: GPL-3.0-or-later
// The card-file window: choose a patient and one of the patient's recordings; create, change and
// delete patients; delete recordings. It closes with a request the main window carries out: write
// a new ECG (Write), show a recording (Open), or nothing; the caller reads choice() and selection()
// afterwards (the window shares no flags). Export writes the selected recording into a file for
// other systems and leaves the window open.
#pragma once

#include "cardfile/CardFile.h"
#include "cardfile/Search.h"
#include "session/CardSelection.h"
#include "ui/Language.h"
#include "ui/Messages.h"
#include "ui/ViewState.h"

#include <QDialog>
#include <functional>
#include <optional>
#include <utility>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace velkard::cardfile::ui {

// What the windows say when the card file stays locked by another program or workstation.
QString busyText(velkard::ui::Language language);

class CardFileWindow : public QDialog {
    Q_OBJECT
public:
    // workDir holds DATA_BASE; construction lists the patients (creating an empty index if needed).
    CardFileWindow(velkard::ui::ViewState& state, velkard::ui::Seams seams,
                   std::filesystem::path workDir, QWidget* parent = nullptr);

    // Relabels the window in `language` (also done on QEvent::LanguageChange, in the language
    // installed then). Messages follow the view state's language when they are shown.
    void applyLanguage(velkard::ui::Language language);
    void applyLanguage(bool russian); // Russian or English

    // The selection the window starts from (the one chosen before), and the one it closes with.
    void startFrom(const velkard::session::CardSelection& selection);
    const velkard::session::CardSelection& selection() const { return selection_; }
    // The request it closes with (None until Write or Open).
    const velkard::session::CardFileChoice& choice() const { return choice_; }

    // Finds patients as they are typed (name, ID, policy, birth date); the list shows the matches.
    QLineEdit* searchEdit;
    QLabel* searchLabel;
    // Patients; each row carries its position in the index and the patient's ID. A click on a
    // header orders the rows by that column (again: the other way round).
    QTreeWidget* patientList;
    // The selected patient's archive, ordered like the patient list: number, date, time, duration,
    // kind, [sending,] the report's statement codes and whether it is confirmed.
    QTreeWidget* archiveList;
    QGroupBox* detailsBox;
    QLabel* archiveLabel;
    // Field names.
    QLabel* nameLabel;
    QLabel* sexLabel;
    QLabel* birthDateLabel;
    QLabel* birthplaceLabel;
    QLabel* addressLabel;
    QLabel* telephoneLabel;
    QLabel* policyLabel;
    // Field values of the selected patient.
    QLabel* nameValue;
    QLabel* sexValue;
    QLabel* birthDateValue;
    QLabel* birthplaceValue;
    QLabel* addressValue;
    QLabel* telephoneValue;
    QLabel* policyValue;
    QPushButton* New;
    QPushButton* Change;
    QPushButton* Delete;
    QPushButton* OK;
    QPushButton* Open;
    QPushButton* Export;
    QPushButton* DelRec;
    QPushButton* Write;
    QPushButton* Send;     // shown only when a send action is given
    QPushButton* Queue;    // the outbox ("Очередь"), shown only when a queue action is given
    QPushButton* Earlier;  // the patient's earlier ECGs in the archive, shown with its action
    QPushButton* Worklist; // the worklist's orders, shown with its action
    QPushButton* Gdt;      // the practice software's GDT requests, shown with its action
    // Shown only when a compare action is given; enabled while an ECG is selected and the patient
    // has another one.
    QPushButton* Compare;

    // Esc and the frame's close button: closes with no request.
    void reject() override;

    // What Export does with the chosen recording; the window itself knows no export format
    // (export/ui's offerExport gives the action).
    using ExportAction = std::function<void(const CardFile&, const PatientRecord&,
                                            const ArchiveEntry&, QWidget* owner)>;
    void setExportAction(ExportAction action) { exportAction_ = std::move(action); }

    // What Send does with the chosen recording (net/ui gives it: into the outbox and on to the
    // archive); the window knows no network. Without one the Send button stays hidden.
    using SendAction = std::function<void(const CardFile&, const PatientRecord&,
                                          const ArchiveEntry&, QWidget* owner)>;
    void setSendAction(SendAction action);
    // What Compare does with the chosen recording and the patient's archive as listed (the
    // entries and the chosen one's position there); compare/ui gives it.
    using CompareAction = std::function<void(const CardFile&, const PatientRecord&,
                                             const std::vector<ArchiveEntry>& entries,
                                             std::size_t chosen, QWidget* owner)>;
    void setCompareAction(CompareAction action);
    // The texts of the archive's send column, one a given entry (empty: never sent). With a
    // provider the archive shows the column.
    using SendStates = std::function<QStringList(const std::string& patientId,
                                                 const std::vector<ArchiveEntry>& entries)>;
    void setSendStates(SendStates states);
    // Asks the provider again for the shown archive (after a send attempt); the selection stays.
    void refreshSendStates();
    // What Queue does (net/ui shows the outbox); without one the button stays hidden. The send
    // column is asked again afterwards.
    using WindowAction = std::function<void(QWidget* owner)>;
    void setQueueAction(WindowAction action);
    // What Earlier does for the chosen patient (net/ui lists the archive's studies); without one
    // the button stays hidden.
    using PatientAction =
        std::function<void(const CardFile&, const PatientRecord&, QWidget* owner)>;
    void setEarlierAction(PatientAction action);
    // What Worklist does: the ID of the card an order was taken for (found or made), nullopt when
    // none was. That patient is then chosen and the window closes with Write, as the menu's
    // worklist does. Without one the button stays hidden.
    using PatientPick = std::function<std::optional<std::string>(QWidget* owner)>;
    void setWorklistAction(PatientPick action);
    // What Gdt does: as Worklist, for a GDT request of the practice software.
    void setGdtAction(PatientPick action);

public slots:
    void newPatient();
    void changePatient();
    void deletePatient();
    void closeWithoutRequest();
    void openRecording();
    void exportRecording();
    void writeNewRecording();
    void deleteRecording();
    void sendRecording();
    void showQueue();
    void showEarlier();
    void showWorklist();
    void showGdt();
    void compareRecording();
    void patientSelected();
    void entrySelected();
    // Shows the patients matching the search field in the chosen order; the selected patient
    // stays selected while it matches.
    void fillPatients();

protected:
    void changeEvent(QEvent* event) override;

private:
    // A message text (marked with QT_TR_NOOP) in the view state's language.
    QString text(const char* source) const;
    // The index position of the selected patient's row; -1 when none is selected.
    int selectedPatientRow() const;
    // The ID the selected row was listed with (empty when none is selected).
    QString selectedPatientId() const;
    // The list read again from the card file, which changed under the window; the patient with
    // `id` is selected again when it is still there.
    void reloadPatients(const QString& id);
    void orderPatientsBy(int column);
    void orderEntriesBy(int column);
    // The archive's kind column: "A2", the rhythmogram's name, nothing for a plain ECG.
    QString kindText(const std::string& marker) const;
    // The archive position of the selected entry; -1 when none is selected.
    int selectedEntryRow() const;
    // True when a patient and one of its recordings are selected; otherwise says which is missing.
    bool entryChosen() const;
    // The chosen patient and archive entry as the card file holds them now; nullopt, after the
    // message, when either can no longer be read.
    std::optional<std::pair<PatientRecord, ArchiveEntry>> readChosenEntry();
    void fillArchive(const std::string& id);
    // The entries of the archive as last read, in the chosen order.
    void showEntries();
    void clearDetails();
    void forgetOpenedRecording();
    // Compare is enabled while it has something to compare.
    void updateCompare();
    void clearArchive();
    // The report column: each shown entry's statement codes and confirmation, and the texts
    // for its hint, read from the report files beside the recordings.
    int reportColumnIndex() const;
    void readReportStates();
    std::vector<std::pair<QString, QString>> reportStates_;
    velkard::ui::Language labelsIn_ = velkard::ui::Language::Russian; // as applyLanguage last set
    velkard::ui::Messages& messages() const { return seams_.messages; }

    velkard::ui::ViewState& state_;
    velkard::ui::Seams seams_;
    ExportAction exportAction_;
    SendAction sendAction_;
    CompareAction compareAction_;
    SendStates sendStates_;
    WindowAction queueAction_;
    PatientAction earlierAction_;
    PatientPick worklistAction_;
    PatientPick gdtAction_;
    // Runs a pick (worklist, GDT); the card it names is selected and written for.
    void writeForPick(const PatientPick& pick);
    std::string shownPatientId_; // whose archive entries_ holds
    CardFile cardFile_;
    PatientFinder finder_; // the index as the window listed it
    PatientOrder patientOrder_;
    std::vector<ArchiveEntry> entries_; // the shown archive as read
    EntryOrder entryOrder_;
    bool reloading_ = false;
    velkard::session::CardSelection selection_;
    velkard::session::CardFileChoice choice_;
};

} // namespace velkard::cardfile::ui
