// SPDX-License-Identifier: GPL-3.0-or-later
// The workstation's own store SCP, listening only when the settings switch it on: C-ECHO, C-STORE
// of ECG waveforms (12-lead, general) and Encapsulated PDFs into
// archive-cache/<study UID>/NNNN.dcm of the working folder, and the archive's storage commitment
// reports (N-EVENT-REPORT), kept in the outbox (Outbox::keepReport) for the entry that asked.
// Associations are taken only when called by the own AE title and from the AE title of the
// archive or the worklist server; others are refused. With pacs.tls on it takes TLS only (own
// certificate and key, the caller's certificate checked against the CA file).
#pragma once

#include "net/Dicom.h"
#include "net/Settings.h"
#include "signal/Status.h"

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <thread>

class DcmItem;
class DcmTLSTransportLayer;

namespace velkard::net {

// The report in an N-EVENT-REPORT's dataset (event type 1: all committed, 2: some failed).
CommitmentReport commitmentReportOf(DcmItem& dataset, unsigned eventType);

class StoreScp {
public:
    StoreScp();
    ~StoreScp(); // stops
    StoreScp(const StoreScp&) = delete;
    StoreScp& operator=(const StoreScp&) = delete;

    // Opens the port of the settings and takes associations on a thread of its own until stop().
    // CannotOpen when the port cannot be had (e.g. another program holds it). `reported` is
    // called on that thread after each storage commitment report was kept.
    Status start(const NetworkSettings& settings, const std::filesystem::path& workDir,
                 std::function<void()> reported = {});
    // Ends after the association under way (within about a second when idle) and joins.
    void stop();
    bool running() const { return thread_.joinable(); }
    // What it was started with, so a caller can tell whether new settings need a restart.
    const NetworkSettings& settings() const { return settings_; }
    int reportsKept() const { return reports_.load(); }
    int objectsStored() const { return stored_.load(); }

    class Listener; // DcmSCP

private:
    Status secure(const NetworkSettings& settings);
    NetworkSettings settings_;
    std::unique_ptr<DcmTLSTransportLayer> tls_;
    std::unique_ptr<Listener> listener_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<int> reports_{0}, stored_{0};
};

} // namespace velkard::net
