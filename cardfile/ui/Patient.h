// The card-file window: choose a patient and one of the patient's recordings; create, change and
// delete patients; delete recordings. It closes with a request the main window carries out: write
// a new ECG (Write), show a recording (Open), or nothing.
#pragma once

#include "cardfile/CardFile.h"

#include <QDialog>

class QGroupBox;
class QLabel;
class QPushButton;
class QTreeWidget;

namespace velkard::cardfile::ui {

class TPatient : public QDialog {
    Q_OBJECT
public:
    // workDir holds DATA_BASE; construction lists the patients (creating an empty index if needed).
    explicit TPatient(std::filesystem::path workDir, QWidget* parent = nullptr);

    void applyLanguage(bool russian);

    QTreeWidget* ListView1; // patients
    QTreeWidget* ListView2; // the selected patient's archive
    QGroupBox* GroupBox1;
    QLabel* Label1;
    // Field names.
    QLabel* Label2;
    QLabel* Label3;
    QLabel* Label4;
    QLabel* Label5;
    QLabel* Label6;
    QLabel* Label7;
    QLabel* Label14;
    // Field values of the selected patient.
    QLabel* Label8;
    QLabel* Label9;
    QLabel* Label10;
    QLabel* Label11;
    QLabel* Label12;
    QLabel* Label13;
    QLabel* Label15;
    QPushButton* New;
    QPushButton* Change;
    QPushButton* Delete;
    QPushButton* OK;
    QPushButton* Open;
    QPushButton* DelRec;
    QPushButton* Write;

public slots:
    void NewClick();
    void ChangeClick();
    void DeleteClick();
    void OKClick();
    void OpenClick();
    void WriteClick();
    void DelRecClick();
    void ListView1SelectItem();
    void ListView2SelectItem();

private:
    int selectedPatientRow() const;
    int selectedEntryRow() const;
    void fillArchive(const std::string& id);
    void clearDetails();

    CardFile cardFile_;
};

} // namespace velkard::cardfile::ui
