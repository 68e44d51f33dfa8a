// SPDX-License-Identifier: GPL-3.0-or-later
// The outbox window: every entry of the outbox of the working folder, one row an entry, with its
// recording, where it goes, its state (waiting, sent, failed with the receiver's reason,
// withdrawn), the attempts made and when the next one is due. Retry puts the chosen entry back
// to be sent at once; "Удалить из очереди…" takes it out of the queue after asking: it is kept as
// withdrawn and no longer sent, and the recording in the card file is not touched. The rows
// follow each run of the sender.
#pragma once

#include "net/Outbox.h"
#include "net/ui/SendActions.h"
#include "ui/Messages.h"
#include "ui/ViewState.h"

#include <QDialog>
#include <filesystem>
#include <vector>

class QLabel;
class QPushButton;
class QTreeWidget;

namespace velkard::net::ui {

class OutboxWindow : public QDialog {
    Q_OBJECT
public:
    // The sender outlives the window.
    OutboxWindow(const velkard::ui::ViewState& state, velkard::ui::Seams seams,
                 OutboxSender& sender, QWidget* parent = nullptr);

    void applyLanguage(velkard::ui::Language language);

    // The entries (recording, destination, state, attempts, next attempt); each row carries its
    // entry's ID.
    QTreeWidget* entryList;
    QLabel* statusLabel; // how many wait, failed, were sent
    QPushButton* retryButton;
    QPushButton* removeButton;
    QPushButton* refreshButton;
    QPushButton* closeButton;

    const std::vector<OutboxEntry>& entries() const { return entries_; }

public slots:
    // Reads the outbox again; the chosen entry stays chosen.
    void refresh();
    void retry();
    void remove();

protected:
    void changeEvent(QEvent* event) override;

private:
    QString say(const char* source) const;
    // The chosen entry's ID; empty (and a message) when none is chosen.
    std::string chosenId();
    const velkard::ui::ViewState& state_;
    velkard::ui::Seams seams_;
    OutboxSender& sender_;
    std::vector<OutboxEntry> entries_;
};

} // namespace velkard::net::ui
