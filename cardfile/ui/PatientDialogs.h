// The new-patient and change-patient dialogs: the same seven inputs, kept in the process-wide
// patient texts (Selection.h) while the user types.
#pragma once

#include "cardfile/CardFile.h"

#include <QDialog>
#include <QString>

class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;

namespace velkard::cardfile::ui {

// The controls and typing handlers both dialogs share.
class PatientInputs : public QDialog {
    Q_OBJECT
public:
    explicit PatientInputs(QWidget* parent = nullptr);

    QLineEdit* Edit1;     // name
    QComboBox* ComboBox1; // sex
    QDateEdit* DateTimePicker1;
    QLineEdit* Edit2; // birthplace
    QLineEdit* Edit3; // address
    QLineEdit* Edit4; // telephone
    QLineEdit* Edit5; // insurance policy
    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label3;
    QLabel* Label4;
    QLabel* Label5;
    QLabel* Label6;
    QLabel* Label7;

    // The picker's date in the stored form dd.MM.yyyy.
    QString pickerDateText() const;

public slots:
    void Edit1Change();
    void ComboBox1Change();
    void Edit2Change();
    void Edit3Change();
    void Edit4Change();
    void Edit5Change();

protected:
    // Labels and the sex items of one language; the window caption is the dialog's own.
    void applyInputCaptions(bool russian);
    // Lays the inputs out above the two buttons, in the tab order name .. policy, OK, Cancel.
    void layOut(QPushButton* ok, QPushButton* cancel);
};

class TNew_patient : public PatientInputs {
    Q_OBJECT
public:
    // workDir holds DATA_BASE. Creation empties the patient texts and clears the created flag.
    explicit TNew_patient(std::filesystem::path workDir, QWidget* parent = nullptr);

    void applyLanguage(bool russian);

    // The record assembled by the last successful OK (valid while
    // newPatientFlags().patientCreated).
    const PatientRecord& record() const { return record_; }

    QPushButton* Button1; // OK
    QPushButton* Button2; // Cancel

    void reject() override; // closing from the frame, Esc, Cancel

public slots:
    void Button1Click();
    void Button2Click();

private:
    CardFile cardFile_;
    PatientRecord record_;
};

class TChange_patient : public PatientInputs {
    Q_OBJECT
public:
    explicit TChange_patient(QWidget* parent = nullptr);

    void applyLanguage(bool russian);

    QPushButton* OK;
    QPushButton* Cancel;

public slots:
    void OKClick();
    void CancelClick();
};

} // namespace velkard::cardfile::ui
