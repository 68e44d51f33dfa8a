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

    QRadioButton* wholeButton;  // all
    QRadioButton* rangeButton;  // range
    QRadioButton* reportButton; // the one-page 12-lead report
    QLineEdit* reportFromEdit;  // its first second
    QLabel* beginLabel;
    QLabel* endLabel;
    QLineEdit* beginEdit; // begin, seconds
    QLineEdit* endEdit;   // end, seconds
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
    void setRangeEnabled(bool on);
};

} // namespace velkard::print::ui
