// SPDX-License-Identifier: GPL-3.0-or-later
// The parameters dialog: one option, whether printed pages carry the millimetre grid.
#pragma once

#include "ui/ViewState.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QTabWidget;

namespace velkard::app {

class ParametersDialog : public QDialog {
    Q_OBJECT
public:
    explicit ParametersDialog(ui::ViewState& state, QWidget* parent = nullptr);

    // Sets every caption in `language` (also on QEvent::LanguageChange, in the language installed
    // then).
    void applyLanguage(ui::Language language);
    void applyLanguage(bool russian); // Russian or English

    QTabWidget* printTab;
    QCheckBox* printGridBox;
    // Filters tab: mains notch, baseline (high-pass) and muscle (low-pass) filters.
    QLabel* mainsLabel;
    QComboBox* mainsBox;
    QLabel* highPassLabel;
    QComboBox* highPassBox;
    QLabel* lowPassLabel;
    QComboBox* lowPassBox;
    QPushButton* okButton;     // OK
    QPushButton* cancelButton; // Cancel
    QPushButton* applyButton;  // Apply

public slots:
    void showPrintGridFlag();
    void togglePrintGrid();
    void confirm();
    void cancel();
    void apply();

protected:
    void changeEvent(QEvent* event) override;

private:
    void showFilters();
    void takeFilters();
    ui::ViewState& state_;
};

} // namespace velkard::app
