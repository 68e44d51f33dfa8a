// The print range dialog: the whole recording or a range of seconds.
#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace velkard::print::ui {

class TRangePrint : public QDialog {
    Q_OBJECT
public:
    // Selects "Все" (all) and disables the range inputs; the edits show the texts of the last
    // range typed in this run, which are the ones the choice keeps.
    explicit TRangePrint(QWidget* parent = nullptr);

    void applyLanguage(bool russian);

    QRadioButton* RadioButton1; // all
    QRadioButton* RadioButton2; // range
    QLabel* Label1;
    QLabel* Label2;
    QLineEdit* Edit1; // begin, seconds
    QLineEdit* Edit2; // end, seconds
    QPushButton* OK;
    QPushButton* Cancel;

public slots:
    void RadioButton1Click();
    void RadioButton2Click();
    void Edit1Change();
    void Edit2Change();
    void OKClick();
    void CancelClick();

private:
    void setRangeEnabled(bool on);
};

} // namespace velkard::print::ui
