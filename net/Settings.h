// SPDX-License-Identifier: GPL-3.0-or-later
// The network settings of one workstation: its own DICOM AE title and port, the worklist and
// archive (PACS) peers, the HL7 receiver, the GDT exchange folder and the TLS files. They live in
// velkard-network.ini in the working folder, beside the program's settings file, as
// "key=value" lines (UTF-8); a key that is missing keeps its default.
#pragma once

#include "signal/Status.h"

#include <filesystem>
#include <string>

namespace velkard::net {

inline constexpr const char* kSettingsFileName = "velkard-network.ini";

struct Peer {
    std::string host; // empty: not configured
    int port = 104;
    std::string aeTitle; // DICOM peers only
    bool tls = false;    // DICOM over TLS with the peer's certificate checked
    bool configured() const { return !host.empty() && port > 0; }
};

struct NetworkSettings {
    std::string aeTitle = "VELKARD";
    // The own store SCP: it takes associations on `port` only when switched on (C-ECHO, C-STORE
    // of ECG waveforms and PDFs, the archive's storage commitment reports).
    int port = 11112;
    bool storeScp = false;
    Peer worklist;
    Peer pacs;
    // Storage commitment (push model) asked of the archive after each send, and how long a
    // report is awaited before the entry says none came (it still takes one that comes later).
    bool storageCommitment = false;
    int commitmentWaitSeconds = 3600;
    // How earlier ECGs are fetched from the archive: "get" (C-GET on Velkard's own association)
    // or "move" (C-MOVE to the own AE title, received by the store SCP).
    std::string archiveFetch = "get";
    Peer hl7;
    std::string hl7Facility = "VELKARD"; // MSH-3/MSH-4
    std::string hl7ReceivingApplication, hl7ReceivingFacility;
    // Which scheduled station the worklist is asked for; empty: the own AE title.
    std::string stationAeTitle;
    std::string gdtFolder;
    // Where the hospital's interface drops HL7 order messages (ORM^O01, OMG^O19); empty: none.
    std::string hl7OrdersFolder;
    std::string gdtOwnId = "VELKARD"; // GDT receiver ID of this program (8 characters at most)
    bool sendAfterSave = false;
    // Sent again when the physician confirms the report (the HL7 result then final).
    bool sendAfterConfirmation = false;
    // TLS: the CA that signs the peers' certificates (PEM), and this workstation's own
    // certificate and key when the peer asks for one.
    std::string tlsCaFile, tlsCertificateFile, tlsKeyFile;
    int timeoutSeconds = 10;
};

// Reads the settings; a missing file gives the defaults. BadData names the line that does not
// read (a port that is no number, an unknown key is ignored).
Result<NetworkSettings> loadSettings(const std::filesystem::path& workDir);
// Writes them through a flushed temporary file renamed over the old one.
Status saveSettings(const std::filesystem::path& workDir, const NetworkSettings& settings);

// An AE title DICOM accepts: 1 to 16 characters of printable ASCII without backslash, not all
// blanks.
bool validAeTitle(const std::string& title);

} // namespace velkard::net
