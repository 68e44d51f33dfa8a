// The memory window: recordings the instrument made on its own (downloaded over USB into "temp",
// or opened from a memory card in a card reader) filed into patients' cards.
#pragma once

#include "cardfile/CardFile.h"
#include "device/Link.h"

#include <QDialog>
#include <QStringList>
#include <filesystem>
#include <functional>
#include <memory>

class QLabel;
class QListWidget;
class QPushButton;
class QTabBar;
class QTreeWidget;
class QTreeWidgetItem;

namespace velkard::memory::ui {

class TForm1;

// What the window needs from the program.
struct MemoryWindowSetup {
    std::filesystem::path workDir;                           // holds DATA_BASE and temp
    std::function<std::unique_ptr<device::Link>()> makeLink; // the memory connection's own link
    TForm1* fileList = nullptr; // the device file list window (TForm1::instance())
    // Chooses memory-card files; the file dialog by default. Returns full paths in its order.
    std::function<QStringList(QWidget* parent)> chooseFiles;
};

class TMemory : public QDialog {
    Q_OBJECT
public:
    explicit TMemory(MemoryWindowSetup setup, QWidget* parent = nullptr);

    void applyLanguage(bool russian);

    QTabBar* TabControl1;
    QTreeWidget* ListView1;
    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label3;
    QLabel* Label4;
    QLabel* Label5;
    QLabel* Label6;
    QLabel* Label7;
    QLabel* Label8;
    QLabel* Label9;
    QLabel* Label10;
    QLabel* Label11;
    QLabel* Label12;
    QLabel* Label13;
    QLabel* Label14;
    QLabel* Label15;
    QLabel* Label16;
    QListWidget* CheckListBox1; // memory-card files, full paths
    QListWidget* CheckListBox2; // downloaded files, names in temp
    QPushButton* Button1;       // new patient card
    QPushButton* Button2;       // store in the patient's card
    QPushButton* Button3;       // add memory-card files
    QPushButton* Button4;       // download from the instrument

    // 1 while tab 0 (downloaded files) is current, 0 on tab 1 (memory-card files).
    int sourceTab() const { return sourceTab_; }

public slots:
    void TabControl1Change(int index);
    void ListView1SelectItem();
    void Button1Click();
    void Button2Click();
    void Button3Click();
    void Button4Click();

private:
    void fillPatients();
    void showTab(bool downloaded);
    void showPatient(const cardfile::PatientRecord& record);

    MemoryWindowSetup setup_;
    cardfile::CardFile cardFile_;
    int sourceTab_ = 1;
};

// Patient › Memory: clears nothing itself; shows the window modally with the captions of the
// current language, then calls backToEmpty (the main window's empty state) once it has closed.
void openMemoryWindow(MemoryWindowSetup setup, QWidget* parent,
                      const std::function<void()>& backToEmpty);

// The file dialog of "Скачать архив с карты памяти": several existing files, no read-only box,
// the current folder left as it is.
QStringList chooseMemoryCardFiles(QWidget* parent);

} // namespace velkard::memory::ui
