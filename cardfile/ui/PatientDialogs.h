// SPDX-License-Identifier: GPL-3.0-or-later
// The new-patient and change-patient dialogs: the same seven inputs, kept in the view state's
// patient texts while the user types.
#pragma once

#include "cardfile/CardFile.h"
#include "ui/Messages.h"
#include "ui/ViewState.h"

#include <QDialog>
#include <QString>

#include <optional>

class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;

namespace velkard::cardfile::ui {

// The patient's sex is stored as "Муж" or "Жен" whatever the interface language; records entered
// in English once stored "men" / "wom", which read the same. Any other text stays as typed.
// The stored form of a sex shown or typed in any interface language.
QString storedSex(const QString& shown);
// A stored sex as `language` shows it ("Муж" and "men" → "men" in English).
QString shownSex(const QString& stored, velkard::ui::Language language);

// The controls and typing handlers both dialogs share.
class PatientInputs : public QDialog {
    Q_OBJECT
public:
    explicit PatientInputs(velkard::ui::ViewState& state, QWidget* parent = nullptr);

    QLineEdit* nameEdit; // name
    QComboBox* sexBox;   // sex
    QDateEdit* birthDatePicker;
    QLineEdit* birthplaceEdit; // birthplace
    QLineEdit* addressEdit;    // address
    QLineEdit* telephoneEdit;  // telephone
    QLineEdit* policyEdit;     // insurance policy
    QLabel* nameLabel;
    QLabel* sexLabel;
    QLabel* birthDateLabel;
    QLabel* birthplaceLabel;
    QLabel* addressLabel;
    QLabel* telephoneLabel;
    QLabel* policyLabel;
    QLabel* limitNote; // says when a field refused a key or a paste longer than it holds

    // The picker's date in the stored form dd.MM.yyyy; empty while no birth date was entered (the
    // picker starts empty).
    QString pickerDateText() const;

public slots:
    void nameEdited();
    void sexEdited();
    void birthplaceEdited();
    void addressEdited();
    void telephoneEdited();
    void policyEdited();

protected:
    velkard::ui::ViewState& state_;

    // Labels and the sex items of one language; the window caption is the dialog's own.
    void applyInputCaptions(velkard::ui::Language language);
    // Lays the inputs out above the two buttons, in the tab order name .. policy, OK, Cancel.
    void layOut(QPushButton* ok, QPushButton* cancel);
};

class NewPatientDialog : public PatientInputs {
    Q_OBJECT
public:
    // workDir holds DATA_BASE. Creation empties the patient texts and clears the created flag.
    // Messages of OK go to messages.
    NewPatientDialog(velkard::ui::ViewState& state, velkard::ui::Messages& messages,
                     std::filesystem::path workDir, QWidget* parent = nullptr);

    // Relabels the dialog (also on QEvent::LanguageChange, in the language installed then).
    void applyLanguage(velkard::ui::Language language);
    void applyLanguage(bool russian); // Russian or English

    // The record assembled by the last successful OK (valid while
    // the view state's newPatient.patientCreated).
    const PatientRecord& record() const { return record_; }

    QPushButton* OK;     // OK
    QPushButton* Cancel; // Cancel

    void reject() override; // closing from the frame, Esc, Cancel

public slots:
    void confirm();
    void cancel();

protected:
    void changeEvent(QEvent* event) override;

private:
    velkard::ui::Messages& messages_;
    CardFile cardFile_;
    PatientRecord record_;
};

class ChangePatientDialog : public PatientInputs {
    Q_OBJECT
public:
    explicit ChangePatientDialog(velkard::ui::ViewState& state, QWidget* parent = nullptr);

    void applyLanguage(velkard::ui::Language language);
    void applyLanguage(bool russian); // Russian or English
    // Shows the stored birth date (nothing when it does not read as a date). OK keeps the stored
    // text as it is unless the user changes the date.
    void showStoredBirthDate(const QString& stored);

    QPushButton* OK;
    QPushButton* Cancel;

public slots:
    void confirm();
    void cancel();

protected:
    void changeEvent(QEvent* event) override;

private:
    std::optional<QString> storedBirthDate_; // set until the user changes the picker's date
};

} // namespace velkard::cardfile::ui
