// SPDX-License-Identifier: GPL-3.0-or-later
// The print range dialog: the whole recording or a range of seconds.
#pragma once

#include "ui/ViewState.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace velkard::print::ui {

// OK checks what was typed: a range that cannot be printed keeps the dialog open with the reason
// under the fields and the field to mend marked.
class PrintRangeDialog : public QDialog {
    Q_OBJECT
public:
    // Selects "Все" (all) and disables the range inputs; the edits show the texts of the last
    // range typed in this run, which are the ones the choice keeps.
    explicit PrintRangeDialog(velkard::ui::ViewState& state, QWidget* parent = nullptr);

    // Sets the captions in `language` (also on QEvent::LanguageChange, in the language installed
    // then).
    void applyLanguage(velkard::ui::Language language);
    void applyLanguage(bool russian); // Russian or English

    // The recording's duration the range is checked against at OK (unchecked until set).
    void setDurationSeconds(int seconds) { durationSeconds_ = seconds; }

    QRadioButton* wholeButton;  // all
    QRadioButton* rangeButton;  // range
    QRadioButton* reportButton; // the one-page 12-lead report
    QLineEdit* reportFromEdit;  // its first second
    QLabel* beginLabel;
    QLabel* endLabel;
    QLineEdit* beginEdit; // begin, seconds
    QLineEdit* endEdit;   // end, seconds
    QLabel* errorLabel;   // why OK refused the range, under the fields (hidden while all is well)
    QPushButton* OK;
    QPushButton* Cancel;

public slots:
    void chooseWhole();
    void chooseRange();
    void chooseReport();
    void beginEdited();
    void endEdited();
    void confirm();
    void cancel();

protected:
    void changeEvent(QEvent* event) override;

private:
    velkard::ui::ViewState& state_;
    int durationSeconds_ = -1;
    void setRangeEnabled(bool on);
    // Shows why the range is refused and marks the field to mend (focused, its text selected).
    void refuse(QLineEdit* field, const QString& why);
    void clearRefusal();
};

} // namespace velkard::print::ui
