// SPDX-License-Identifier: GPL-3.0-or-later
// The device file list window: the instrument's memory card during a memory connection. The main
// window makes one at program start, keeps it hidden, and each connection shows it modally.
#pragma once

#include "memory/FileListModel.h"
#include "memory/MemoryProtocol.h"
#include "ui/Messages.h"
#include "ui/ViewState.h"

#include <QDialog>
#include <cstdint>
#include <string>

class QItemSelection;
class QListWidget;
class QProgressBar;
class QPushButton;

namespace velkard::memory::ui {

// The model (entries, selection, enabled flag, progress) answers the memory worker at once from
// any thread; every change is then replayed on the window's thread, queued in the order it was
// made, onto the widgets.
class DeviceFileList : public QDialog, public FileListModel {
    Q_OBJECT
public:
    // The worker's messages and the question before Delete go to messages.
    DeviceFileList(const velkard::ui::ViewState& state, velkard::ui::Messages& messages,
                   QWidget* parent = nullptr);
    ~DeviceFileList() override;

    // Connection start: captions by language, empty list, progress 0, list and buttons enabled
    // (a run cut short by closing the window must not leave the next connection locked).
    void prepareConnection(velkard::ui::Language language);
    void prepareConnection(bool russian); // Russian or English
    // The connection the buttons drive while the window is shown; null between connections.
    void setConnection(MemoryConnection* connection);

    // Relabels the window in `language` (also on QEvent::LanguageChange, in the language
    // installed then).
    void applyLanguage(velkard::ui::Language language);
    void applyLanguage(bool russian); // Russian or English

    // FileListWindow operations that the model does not cover.
    // Queues the report to the window's thread, which makes its text in the language of then.
    void report(const MemoryReport& report) override;
    void refresh() override;

    QListWidget* fileList;
    QPushButton* refreshButton; // Refresh
    QPushButton* acceptButton;  // Accept
    QProgressBar* progressBar;
    QPushButton* deleteButton;         // Delete
    QPushButton* selectAllButton;      // Select all
    QPushButton* clearSelectionButton; // Clear selection

public slots:
    void refreshListing();
    void acceptSelected();
    void deleteSelected();
    void selectAllFiles();
    void clearFileSelection();

protected:
    void changeEvent(QEvent* event) override;
    void entryAppended(const std::string& text) override;
    void entriesCleared() override;
    void selectionChanged(std::size_t i, bool selected) override;
    void listEnabledChanged(bool enabled) override;
    void progressChanged(std::int64_t min, std::int64_t max, std::int64_t pos) override;

private:
    void userSelectionChanged(const QItemSelection& selected, const QItemSelection& deselected);
    void setRunControlsEnabled(bool enabled);

    const velkard::ui::ViewState& state_;
    velkard::ui::Messages& messages_;
    MemoryConnection* connection_ = nullptr;
    bool applying_ = false; // widget changes replayed from the model, not made by the user
};

} // namespace velkard::memory::ui
