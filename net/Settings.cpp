// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/Settings.h"

#include "signal/FileIo.h"

#include <charconv>
#include <fstream>
#include <sstream>

namespace velkard::net {

namespace {

bool parseInt(const std::string& text, int lo, int hi, int& out) {
    int v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size() || v < lo || v > hi)
        return false;
    out = v;
    return true;
}

std::string trim(const std::string& s) {
    const auto b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos)
        return {};
    const auto e = s.find_last_not_of(" \t\r");
    return s.substr(b, e - b + 1);
}

struct Key {
    const char* name;
    std::string* text = nullptr;
    int* number = nullptr;
    bool* flag = nullptr;
    int lo = 0, hi = 0;
};

std::vector<Key> keys(NetworkSettings& s) {
    std::vector<Key> k;
    auto text = [&](const char* n, std::string& v) { k.push_back({n, &v}); };
    auto number = [&](const char* n, int& v, int lo, int hi) {
        k.push_back({n, nullptr, &v, nullptr, lo, hi});
    };
    auto flag = [&](const char* n, bool& v) { k.push_back({n, nullptr, nullptr, &v}); };
    text("ae_title", s.aeTitle);
    flag("store_scp.enabled", s.storeScp);
    number("store_scp.port", s.port, 1, 65535);
    text("station_ae_title", s.stationAeTitle);
    text("worklist.host", s.worklist.host);
    number("worklist.port", s.worklist.port, 1, 65535);
    text("worklist.ae_title", s.worklist.aeTitle);
    flag("worklist.tls", s.worklist.tls);
    text("pacs.host", s.pacs.host);
    number("pacs.port", s.pacs.port, 1, 65535);
    text("pacs.ae_title", s.pacs.aeTitle);
    flag("pacs.tls", s.pacs.tls);
    flag("pacs.storage_commitment", s.storageCommitment);
    number("pacs.commitment_wait_seconds", s.commitmentWaitSeconds, 10, 7 * 24 * 3600);
    text("archive.fetch", s.archiveFetch);
    text("hl7.host", s.hl7.host);
    number("hl7.port", s.hl7.port, 1, 65535);
    flag("hl7.tls", s.hl7.tls);
    text("hl7.sending_facility", s.hl7Facility);
    text("hl7.receiving_application", s.hl7ReceivingApplication);
    text("hl7.receiving_facility", s.hl7ReceivingFacility);
    text("gdt.folder", s.gdtFolder);
    text("hl7.orders_folder", s.hl7OrdersFolder);
    text("gdt.own_id", s.gdtOwnId);
    flag("send_after_save", s.sendAfterSave);
    flag("send_after_confirmation", s.sendAfterConfirmation);
    text("tls.ca_file", s.tlsCaFile);
    text("tls.certificate_file", s.tlsCertificateFile);
    text("tls.key_file", s.tlsKeyFile);
    number("timeout_seconds", s.timeoutSeconds, 1, 600);
    return k;
}

} // namespace

bool validAeTitle(const std::string& title) {
    if (title.empty() || title.size() > 16 || title.find_first_not_of(' ') == std::string::npos)
        return false;
    for (char c : title)
        if (c < 0x20 || c > 0x7e || c == '\\')
            return false;
    return true;
}

Result<NetworkSettings> loadSettings(const std::filesystem::path& workDir) {
    NetworkSettings s;
    s.hl7.port = 2575;
    const auto path = workDir / kSettingsFileName;
    std::ifstream in(path);
    if (!in) {
        std::error_code ec;
        if (std::filesystem::exists(path, ec))
            return Result<NetworkSettings>::failure(ErrorCode::CannotOpen,
                                                    "Cannot read " + path.string());
        return Result<NetworkSettings>::success(s);
    }
    auto table = keys(s);
    std::string line;
    int lineNo = 0;
    while (std::getline(in, line)) {
        ++lineNo;
        const std::string t = trim(line);
        if (t.empty() || t[0] == '#')
            continue;
        const auto eq = t.find('=');
        if (eq == std::string::npos)
            return Result<NetworkSettings>::failure(ErrorCode::BadData, path.string() + ", line " +
                                                                            std::to_string(lineNo) +
                                                                            ": expected key=value");
        std::string key = trim(t.substr(0, eq));
        const std::string value = trim(t.substr(eq + 1));
        // The names these two keys had before the store SCP had keys of its own.
        if (key == "port")
            key = "store_scp.port";
        else if (key == "store_scp")
            key = "store_scp.enabled";
        for (Key& k : table) {
            if (key != k.name)
                continue;
            if (k.text)
                *k.text = value;
            else if (k.flag)
                *k.flag = value == "1" || value == "true" || value == "yes";
            else if (k.number && !parseInt(value, k.lo, k.hi, *k.number))
                return Result<NetworkSettings>::failure(
                    ErrorCode::BadData, path.string() + ", line " + std::to_string(lineNo) + ": " +
                                            key + " must be a whole number from " +
                                            std::to_string(k.lo) + " to " + std::to_string(k.hi));
        }
    }
    if (s.archiveFetch != "get" && s.archiveFetch != "move")
        return Result<NetworkSettings>::failure(
            ErrorCode::BadData, path.string() + ": archive.fetch must be get or move");
    return Result<NetworkSettings>::success(s);
}

Status saveSettings(const std::filesystem::path& workDir, const NetworkSettings& settings) {
    NetworkSettings copy = settings;
    std::ostringstream out;
    out << "# Velkard: network settings of this workstation\n";
    for (const Key& k : keys(copy)) {
        out << k.name << '=';
        if (k.text)
            out << *k.text;
        else if (k.flag)
            out << (*k.flag ? 1 : 0);
        else
            out << *k.number;
        out << '\n';
    }
    const std::string text = out.str();
    signal::AtomicFileWriter file(workDir / kSettingsFileName);
    if (auto s = file.open(); !s)
        return s;
    if (auto s = file.write(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()); !s)
        return s;
    return file.commit(true, text.size());
}

} // namespace velkard::net
