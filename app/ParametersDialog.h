// SPDX-License-Identifier: GPL-3.0-or-later
// The parameters dialog: one option, whether printed pages carry the millimetre grid.
#pragma once

#include "ui/ViewState.h"

#include <QDialog>

class QCheckBox;
class QPushButton;
class QTabWidget;

namespace velkard::app {

class ParametersDialog : public QDialog {
    Q_OBJECT
public:
    explicit ParametersDialog(ui::ViewState& state, QWidget* parent = nullptr);

    // Sets every caption from the one table of this window.
    void applyLanguage(bool russian);

    QTabWidget* printTab;
    QCheckBox* printGridBox;
    QPushButton* okButton;     // OK
    QPushButton* cancelButton; // Cancel
    QPushButton* applyButton;  // Apply

public slots:
    void showPrintGridFlag();
    void togglePrintGrid();
    void confirm();
    void cancel();
    void apply();

private:
    ui::ViewState& state_;
};

} // namespace velkard::app
