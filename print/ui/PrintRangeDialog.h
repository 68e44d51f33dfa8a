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

    void applyLanguage(bool russian);

    QRadioButton* wholeButton; // all
    QRadioButton* rangeButton; // range
    QLabel* beginLabel;
    QLabel* endLabel;
    QLineEdit* beginEdit; // begin, seconds
    QLineEdit* endEdit;   // end, seconds
    QPushButton* OK;
    QPushButton* Cancel;

public slots:
    void chooseWhole();
    void chooseRange();
    void beginEdited();
    void endEdited();
    void confirm();
    void cancel();

private:
    velkard::ui::ViewState& state_;
    void setRangeEnabled(bool on);
};

} // namespace velkard::print::ui
