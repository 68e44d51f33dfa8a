// SPDX-License-Identifier: GPL-3.0-or-later
// Send from the windows: a card-file recording goes into the outbox (net/Send.h) and a sender
// works the outbox in the background, so the window thread never waits for a peer. The card-file
// window's Send button and its send column come from here (offerSend), and the main window queues
// a saved recording here when the settings say so.
#pragma once

#include "cardfile/CardFile.h"
#include "cardfile/ui/CardFileWindow.h"
#include "net/Outbox.h"
#include "net/StoreScp.h"
#include "ui/Messages.h"
#include "ui/ViewState.h"

#include <QObject>
#include <QTimer>
#include <atomic>
#include <filesystem>
#include <mutex>
#include <thread>

namespace velkard::net::ui {

// Sends what is due from the outbox of a working folder on a worker thread, one run at a time: at
// sendNow() and every half minute (the outbox itself keeps the pauses between attempts). Each run
// reads the network settings again, so a change in Parameters takes effect at the next one.
// It also keeps the store SCP (net/StoreScp.h) listening while the settings switch it on, from the
// start and off the window thread; a storage commitment report it takes starts a run, which gives
// the report to its entry.
class OutboxSender : public QObject {
    Q_OBJECT
public:
    explicit OutboxSender(std::filesystem::path workDir, QObject* parent = nullptr);
    ~OutboxSender() override; // waits for a run under way
    // Starts a run now; during one, another follows it.
    void sendNow();
    bool running() const { return running_.load(); }
    const std::filesystem::path& workDir() const { return workDir_; }
    // Why the store SCP does not listen although switched on (the port taken ...); empty if it
    // listens or is off.
    std::string storeScpProblem() const;

signals:
    // A run ended (on the window thread): the states shown may have changed.
    void ran();

private:
    void finished();
    void keepStoreScp(const NetworkSettings& settings);
    std::filesystem::path workDir_;
    mutable std::mutex scpMutex_;
    StoreScp scp_;
    std::string scpProblem_;
    QTimer timer_;
    std::thread worker_;
    std::atomic<bool> running_{false};
    bool again_ = false;
};

// Puts recording `entry` of `patient` into the outbox with its report PDF and starts the sender.
// The outcome is told through the messages only when it failed (not configured, not an ECG, the
// outbox not writable); returns true when something was queued.
bool queueForSending(velkard::ui::Messages& messages, velkard::ui::Language language,
                     const cardfile::CardFile& cardFile, const cardfile::PatientRecord& patient,
                     const cardfile::ArchiveEntry& entry, OutboxSender& sender,
                     QWidget* owner = nullptr);

// An outbox entry's state as the windows show it: "ожидает[: <why not reached>]", "отправлено",
// "ошибка: <reason>", "снято с отправки", "отправлено, ожидается подтверждение хранения[: <note>]",
// "хранение подтверждено".
QString entryStateText(velkard::ui::Language language, EntryState state, const std::string& reason);
// The state of a recording in the outbox as the card file's send column shows it (as above);
// empty when nothing was queued for it.
QString sendStateText(velkard::ui::Language language, const std::vector<net::OutboxEntry>& entries,
                      const std::string& patientId, const std::string& recordedAt);

// Gives the card-file window its Send and Queue buttons and its send column (Queue shows the
// outbox window). Send queues the chosen recording;
// for one that waits or failed it asks to try again at once (the outbox's retry), for one sent
// it asks before sending it anew. The column follows each run of the sender. sender and state
// outlive the window.
void offerSend(cardfile::ui::CardFileWindow& window, velkard::ui::Seams seams,
               const velkard::ui::ViewState& state, OutboxSender& sender);

} // namespace velkard::net::ui
