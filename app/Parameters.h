// The parameters dialog: one option, whether printed pages carry the millimetre grid.
#pragma once

#include <QDialog>

class QCheckBox;
class QPushButton;
class QTabWidget;

namespace velkard::app {

class TParameters : public QDialog {
    Q_OBJECT
public:
    explicit TParameters(QWidget* parent = nullptr);

    // Sets every caption from the one table of this window.
    void applyLanguage(bool russian);

    QTabWidget* TabControl1;
    QCheckBox* CheckBox1;
    QPushButton* Button1; // OK
    QPushButton* Button2; // Cancel
    QPushButton* Button3; // Apply

public slots:
    void TabControl1Change();
    void CheckBox1Click();
    void Button1Click();
    void Button2Click();
    void Button3Click();
};

} // namespace velkard::app
