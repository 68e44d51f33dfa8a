// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/ui/SendActions.h"

#include "net/Outbox.h"
#include "net/Send.h"
#include "net/Settings.h"
#include "net/ui/OutboxWindow.h"
#include "net/ui/ReportPdf.h"

#include <QMetaObject>
#include <ctime>

namespace velkard::net::ui {

namespace {

constexpr const char* kContext = "velkard::net::ui::SendActions";

QString say(velkard::ui::Language l, const char* source) {
    return velkard::ui::translate(l, kContext, source);
}

QString sendCaption(velkard::ui::Language l) {
    return say(l, QT_TRANSLATE_NOOP("velkard::net::ui::SendActions", "Отправка"));
}

} // namespace

OutboxSender::OutboxSender(std::filesystem::path workDir, QObject* parent)
    : QObject(parent), workDir_(std::move(workDir)) {
    timer_.setInterval(30 * 1000);
    connect(&timer_, &QTimer::timeout, this, &OutboxSender::sendNow);
    timer_.start();
    if (auto settings = loadSettings(workDir_))
        keepStoreScp(settings.value);
}

OutboxSender::~OutboxSender() {
    timer_.stop();
    if (worker_.joinable())
        worker_.join();
    std::lock_guard lock(scpMutex_);
    scp_.stop();
}

std::string OutboxSender::storeScpProblem() const {
    std::lock_guard lock(scpMutex_);
    return scpProblem_;
}

void OutboxSender::keepStoreScp(const NetworkSettings& s) {
    std::lock_guard lock(scpMutex_);
    if (!s.storeScp) {
        scp_.stop();
        scpProblem_.clear();
        return;
    }
    const NetworkSettings& now = scp_.settings();
    if (scp_.running() && now.port == s.port && now.aeTitle == s.aeTitle &&
        now.pacs.aeTitle == s.pacs.aeTitle && now.pacs.host == s.pacs.host &&
        now.worklist.aeTitle == s.worklist.aeTitle && now.worklist.host == s.worklist.host &&
        now.timeoutSeconds == s.timeoutSeconds && now.pacs.tls == s.pacs.tls &&
        now.tlsCaFile == s.tlsCaFile && now.tlsCertificateFile == s.tlsCertificateFile &&
        now.tlsKeyFile == s.tlsKeyFile)
        return;
    // A report taken starts a run on the window thread, which hands it to its entry.
    const Status started = scp_.start(s, workDir_, [this] {
        QMetaObject::invokeMethod(this, &OutboxSender::sendNow, Qt::QueuedConnection);
    });
    scpProblem_ = started ? std::string() : started.message;
}

void OutboxSender::sendNow() {
    if (running_.load()) {
        again_ = true;
        return;
    }
    if (worker_.joinable())
        worker_.join(); // it has ended: running_ went false on this thread
    running_.store(true);
    worker_ = std::thread([this, dir = workDir_] {
        // Nothing configured or nothing due: the run ends at once.
        if (auto settings = loadSettings(dir)) {
            keepStoreScp(settings.value);
            Outbox(dir).process(networkTransport(settings.value), std::time(nullptr));
        }
        QMetaObject::invokeMethod(this, &OutboxSender::finished, Qt::QueuedConnection);
    });
}

void OutboxSender::finished() {
    running_.store(false);
    emit ran();
    if (again_) {
        again_ = false;
        sendNow();
    }
}

bool queueForSending(velkard::ui::Messages& messages, velkard::ui::Language l,
                     const cardfile::CardFile& cardFile, const cardfile::PatientRecord& patient,
                     const cardfile::ArchiveEntry& entry, OutboxSender& sender, QWidget* owner) {
    const bool russian = l == velkard::ui::Language::Russian;
    const auto& workDir = cardFile.workDir();
    auto settings = loadSettings(workDir);
    if (!settings) {
        messages.show(QString::fromStdString(settings.message), velkard::ui::errorCaption(l),
                      owner);
        return false;
    }
    if (!settings.value.pacs.configured() && !settings.value.hl7.configured()) {
        messages.show(say(l, QT_TRANSLATE_NOOP("velkard::net::ui::SendActions",
                                               "Не настроены ни архив (PACS), ни приёмник HL7: "
                                               "Настройка → Параметры → Сеть")),
                      sendCaption(l), owner);
        return false;
    }
    if (entry.isRhythm()) {
        messages.show(say(l, QT_TRANSLATE_NOOP("velkard::net::ui::SendActions",
                                               "Ритмограмма не отправляется: в ней нет ЭКГ")),
                      sendCaption(l), owner);
        return false;
    }
    auto pdf = reportPdf(cardFile, patient, entry, russian);
    if (!pdf) {
        messages.show(QString::fromStdString(pdf.message), velkard::ui::errorCaption(l), owner);
        return false;
    }
    auto queued = queueRecording(Outbox(workDir), cardFile, settings.value, patient.id,
                                 entry.recordNumber(), pdf.value, russian);
    if (!queued) {
        messages.show(say(l, QT_TRANSLATE_NOOP("velkard::net::ui::SendActions",
                                               "ЭКГ не поставлена в очередь отправки\n")) +
                          QString::fromStdString(queued.message),
                      velkard::ui::errorCaption(l), owner);
        return false;
    }
    sender.sendNow();
    return true;
}

QString entryStateText(velkard::ui::Language l, EntryState state, const std::string& reason) {
    switch (state) {
    case EntryState::Sent:
        return say(l, QT_TRANSLATE_NOOP("velkard::net::ui::SendActions", "отправлено"));
    case EntryState::Waiting:
        return say(l, QT_TRANSLATE_NOOP("velkard::net::ui::SendActions", "ожидает")) +
               (reason.empty() ? QString() : QStringLiteral(": ") + QString::fromStdString(reason));
    case EntryState::Failed:
        return say(l, QT_TRANSLATE_NOOP("velkard::net::ui::SendActions", "ошибка")) +
               QStringLiteral(": ") + QString::fromStdString(reason);
    case EntryState::Withdrawn:
        return say(l, QT_TRANSLATE_NOOP("velkard::net::ui::SendActions", "снято с отправки"));
    case EntryState::AwaitingCommitment:
        return say(l, QT_TRANSLATE_NOOP("velkard::net::ui::SendActions",
                                        "отправлено, ожидается подтверждение хранения")) +
               (reason.empty() ? QString() : QStringLiteral(": ") + QString::fromStdString(reason));
    case EntryState::Committed:
        return say(l, QT_TRANSLATE_NOOP("velkard::net::ui::SendActions", "хранение подтверждено"));
    }
    return QString();
}

QString sendStateText(velkard::ui::Language l, const std::vector<OutboxEntry>& entries,
                      const std::string& patientId, const std::string& recordedAt) {
    const auto state = sendStateOf(entries, patientId, recordedAt);
    return state ? entryStateText(l, state->state, state->reason) : QString();
}

void offerSend(cardfile::ui::CardFileWindow& window, velkard::ui::Seams seams,
               const velkard::ui::ViewState& state, OutboxSender& sender) {
    window.setSendAction([seams, &state, &sender](const cardfile::CardFile& cardFile,
                                                  const cardfile::PatientRecord& patient,
                                                  const cardfile::ArchiveEntry& entry,
                                                  QWidget* owner) {
        const velkard::ui::Language l = state.interfaceLanguage();
        const Outbox outbox(cardFile.workDir());
        auto entries = outbox.list();
        const std::string recordedAt = entry.date + " " + entry.time;
        // Where the recording stands in the outbox; one taken out of the queue counts as not
        // there (Send queues it anew).
        EntryState known = EntryState::Withdrawn;
        if (entries)
            if (const auto found = sendStateOf(entries.value, patient.id, recordedAt))
                known = found->state;
        const bool queued = known != EntryState::Withdrawn;
        if (queued && !delivered(known)) {
            // Waiting or refused: the entries already made are tried again at once.
            if (!seams.messages.ask(say(l, QT_TRANSLATE_NOOP("velkard::net::ui::SendActions",
                                                             "ЭКГ уже в очереди отправки. "
                                                             "Повторить отправку сейчас?")),
                                    sendCaption(l), owner))
                return;
            for (const OutboxEntry& e : entries.value)
                if (e.patientId == patient.id && e.recordedAt == recordedAt &&
                    !delivered(e.state) && e.state != EntryState::Withdrawn)
                    if (auto s = outbox.retry(e.id); !s) {
                        seams.messages.show(QString::fromStdString(s.message),
                                            velkard::ui::errorCaption(l), owner);
                        return;
                    }
            sender.sendNow();
            return;
        }
        if (queued && !seams.messages.ask(say(l, QT_TRANSLATE_NOOP("velkard::net::ui::SendActions",
                                                                   "ЭКГ уже отправлена. "
                                                                   "Отправить ещё раз?")),
                                          sendCaption(l), owner, false))
            return;
        queueForSending(seams.messages, l, cardFile, patient, entry, sender, owner);
    });
    window.setSendStates([&state, &sender](const std::string& patientId,
                                           const std::vector<cardfile::ArchiveEntry>& shown) {
        QStringList texts;
        auto entries = Outbox(sender.workDir()).list();
        if (!entries)
            return texts;
        for (const cardfile::ArchiveEntry& e : shown)
            texts << sendStateText(state.interfaceLanguage(), entries.value, patientId,
                                   e.date + " " + e.time);
        return texts;
    });
    QObject::connect(&sender, &OutboxSender::ran, &window,
                     &cardfile::ui::CardFileWindow::refreshSendStates);
    window.setQueueAction([seams, &state, &sender](QWidget* owner) {
        OutboxWindow outbox(state, seams, sender, owner);
        seams.dialogs.run(outbox);
    });
}

} // namespace velkard::net::ui
