// SPDX-License-Identifier: GPL-3.0-or-later
// The memory window: recordings the instrument made on its own (downloaded over USB into "temp",
// or opened from a memory card in a card reader) filed into patients' cards.
#pragma once

#include "cardfile/CardFile.h"
#include "device/Link.h"
#include "session/CardSelection.h"
#include "ui/Messages.h"
#include "ui/ViewState.h"

#include <QDialog>
#include <QList>
#include <QStringList>
#include <filesystem>
#include <functional>
#include <memory>

class QLabel;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class QTabBar;
class QTreeWidget;
class QTreeWidgetItem;

namespace velkard::memory::ui {

class DeviceFileList;

// What the window needs from the program.
struct MemoryWindowSetup {
    std::filesystem::path workDir;                           // holds DATA_BASE and temp
    std::function<std::unique_ptr<device::Link>()> makeLink; // the memory connection's own link
    // The device file list window the program keeps; the window makes its own when null.
    DeviceFileList* fileList = nullptr;
    // Chooses memory-card files; the file dialog by default. Returns full paths in its order.
    std::function<QStringList(QWidget* parent)> chooseFiles;
};

class MemoryWindow : public QDialog {
    Q_OBJECT
public:
    MemoryWindow(velkard::ui::ViewState& state, velkard::ui::Seams seams, MemoryWindowSetup setup,
                 QWidget* parent = nullptr);

    // Relabels the window in `language` (also on QEvent::LanguageChange, in the language
    // installed then). Messages follow the view state's language when they are shown.
    void applyLanguage(velkard::ui::Language language);
    void applyLanguage(bool russian); // Russian or English

    QTabBar* sourceTabs;
    QTreeWidget* patientList;
    QLabel* nameLabel;
    QLabel* nameValue;
    QLabel* sexLabel;
    QLabel* sexValue;
    QLabel* birthDateLabel;
    QLabel* birthDateValue;
    QLabel* birthplaceLabel;
    QLabel* birthplaceValue;
    QLabel* addressLabel;
    QLabel* addressValue;
    QLabel* telephoneLabel;
    QLabel* telephoneValue;
    QLabel* policyLabel;
    QLabel* policyValue;
    QLabel* memoryCardLabel;
    QLabel* downloadedLabel;
    QListWidget* cardFileList;       // memory-card files, full paths
    QListWidget* downloadedList;     // downloaded files, names in temp
    QPushButton* newPatientButton;   // new patient card
    QPushButton* storeButton;        // store in the patient's card
    QPushButton* addCardFilesButton; // add memory-card files
    QPushButton* downloadButton;     // download from the instrument
    QPushButton* closeButton;

    // 1 while tab 0 (downloaded files) is current, 0 on tab 1 (memory-card files).
    int sourceTab() const { return sourceTab_; }
    // The patient chosen in the window's card-file list (Store files under it). The window's own:
    // it shares no selection with the other windows.
    const velkard::session::CardSelection& selection() const { return selection_; }
    velkard::session::CardSelection& selection() { return selection_; }

public slots:
    void showSource(int index);
    void patientSelected();
    void newPatient();
    void storeInCard();
    void addCardFiles();
    void download();

protected:
    void changeEvent(QEvent* event) override;

private:
    // A message text (marked with QT_TR_NOOP) in the view state's language.
    QString text(const char* source) const;
    void fillPatients();
    // The downloaded files waiting in temp, each with what its header tells.
    void fillDownloaded();
    // Files one press of "Положить в карту пациента" files: the current row, or when no row is
    // current, every ticked row.
    QList<QListWidgetItem*> filesToStore(QListWidget* list) const;
    void showTab(bool downloaded);
    void showPatient(const cardfile::PatientRecord& record);

    velkard::ui::ViewState& state_;
    velkard::ui::Seams seams_;
    MemoryWindowSetup setup_;
    cardfile::CardFile cardFile_;
    velkard::session::CardSelection selection_;
    int sourceTab_ = 1;
};

// Patient › Memory: clears nothing itself; shows the window modally with the captions of the
// current language, then calls backToEmpty (the main window's empty state) once it has closed.
void openMemoryWindow(velkard::ui::ViewState& state, velkard::ui::Seams seams,
                      MemoryWindowSetup setup, QWidget* parent,
                      const std::function<void()>& backToEmpty);

// The file dialog of "Скачать архив с карты памяти": several existing files, no read-only box,
// the current folder left as it is.
QStringList chooseMemoryCardFiles(velkard::ui::DialogRunner& dialogs, QWidget* parent);

} // namespace velkard::memory::ui
