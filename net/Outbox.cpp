// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/Outbox.h"

#include "net/Hl7.h"
#include "net/Send.h"
#include "signal/FileIo.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sstream>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace velkard::net {

namespace {

constexpr const char* kEntryFile = "entry.txt";
constexpr const char* kStateFile = "state.txt";
constexpr const char* kReportsFolder = ".commitments";

std::string oneLine(std::string s) {
    for (char& c : s)
        if (c == '\n' || c == '\r')
            c = ' ';
    return s;
}

Status writeText(const std::filesystem::path& path, const std::string& text) {
    signal::AtomicFileWriter file(path);
    if (auto s = file.open(); !s)
        return s;
    if (auto s = file.write(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()); !s)
        return s;
    return file.commit(true, text.size());
}

Status syncPath(const std::filesystem::path& path, bool folder) {
    const int fd = ::open(path.c_str(), (folder ? O_DIRECTORY : 0) | O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return Status::failure(ErrorCode::CannotOpen,
                               "Cannot open " + path.string() + ": " + std::strerror(errno));
    const int rc = ::fsync(fd);
    const int err = errno;
    ::close(fd);
    if (rc != 0)
        return Status::failure(ErrorCode::CannotWrite,
                               "Cannot flush " + path.string() + ": " + std::strerror(err));
    return Status::success();
}

std::vector<std::pair<std::string, std::string>> readPairs(const std::filesystem::path& path,
                                                           bool& ok) {
    std::vector<std::pair<std::string, std::string>> out;
    std::ifstream in(path);
    ok = static_cast<bool>(in);
    std::string line;
    while (std::getline(in, line)) {
        const auto eq = line.find('=');
        if (eq != std::string::npos)
            out.emplace_back(line.substr(0, eq), line.substr(eq + 1));
    }
    return out;
}

std::int64_t toInt(const std::string& s) {
    try {
        return std::stoll(s);
    } catch (...) {
        return 0;
    }
}

std::string describe(const OutboxEntry& e) {
    std::ostringstream o;
    o << "destination=" << (e.destination == Destination::Hl7 ? "hl7" : "pacs") << '\n'
      << "patient=" << oneLine(e.patientId) << '\n'
      << "recording=" << e.recording << '\n'
      << "recorded_at=" << oneLine(e.recordedAt) << '\n'
      << "label=" << oneLine(e.label) << '\n';
    for (const auto& f : e.files)
        o << "file=" << oneLine(f) << '\n';
    return o.str();
}

std::string stateText(const OutboxEntry& e) {
    std::ostringstream o;
    o << "state=" << stateName(e.state) << '\n'
      << "attempts=" << e.attempts << '\n'
      << "next_attempt=" << e.nextAttempt << '\n'
      << "sent_at=" << e.sentAt << '\n'
      << "reason=" << oneLine(e.reason) << '\n'
      << "files_sent=";
    for (bool b : e.fileSent)
        o << (b ? '1' : '0');
    o << '\n';
    if (!e.commitTransaction.empty())
        o << "commit_transaction=" << e.commitTransaction << '\n'
          << "commit_asked_at=" << e.commitAskedAt << '\n';
    return o.str();
}

std::string reportText(const CommitmentReport& r) {
    std::ostringstream o;
    o << "transaction=" << oneLine(r.transactionUid) << '\n';
    for (const auto& c : r.committed)
        o << "committed=" << oneLine(c) << '\n';
    for (const auto& f : r.failed)
        o << "failed=" << f.reason << ' ' << oneLine(f.classUid) << ' ' << oneLine(f.instanceUid)
          << '\n';
    return o.str();
}

std::optional<CommitmentReport> readReport(const std::filesystem::path& path) {
    bool ok = false;
    CommitmentReport r;
    for (const auto& [k, v] : readPairs(path, ok)) {
        if (k == "transaction")
            r.transactionUid = v;
        else if (k == "committed")
            r.committed.push_back(v);
        else if (k == "failed") {
            std::istringstream in(v);
            CommitmentReport::Failure f;
            in >> f.reason >> f.classUid >> f.instanceUid;
            r.failed.push_back(f);
        }
    }
    if (!ok || r.transactionUid.empty())
        return std::nullopt;
    return r;
}

// The outbox's lock for one process's work; released when it goes.
class WorkLock {
public:
    explicit WorkLock(const std::filesystem::path& folder) {
        fd_ = ::open((folder / ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (fd_ >= 0 && ::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
            ::close(fd_);
            fd_ = -1;
            busy_ = true;
        }
    }
    ~WorkLock() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    bool held() const { return fd_ >= 0; }
    bool busy() const { return busy_; }

private:
    int fd_ = -1;
    bool busy_ = false;
};

std::string stamp(std::int64_t t) {
    const std::time_t tt = static_cast<std::time_t>(t);
    std::tm tm{};
    localtime_r(&tt, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y%m%d-%H%M%S", &tm);
    return buf;
}

} // namespace

std::string_view stateName(EntryState state) {
    switch (state) {
    case EntryState::Waiting:
        return "waiting";
    case EntryState::Sent:
        return "sent";
    case EntryState::Failed:
        return "failed";
    case EntryState::Withdrawn:
        return "withdrawn";
    case EntryState::AwaitingCommitment:
        return "awaiting_commitment";
    case EntryState::Committed:
        return "committed";
    }
    return "waiting";
}

bool delivered(EntryState state) {
    return state == EntryState::Sent || state == EntryState::AwaitingCommitment ||
           state == EntryState::Committed;
}

std::int64_t retryDelaySeconds(int attempts) {
    std::int64_t d = 30;
    for (int i = 1; i < attempts && d < 3600; ++i)
        d *= 2;
    return std::min<std::int64_t>(d, 3600);
}

Transport networkTransport(const NetworkSettings& settings) {
    Transport t;
    t.store = [settings](const std::vector<std::filesystem::path>& files) {
        return store(settings, settings.pacs, files);
    };
    t.hl7 = [settings](const std::string& message) { return sendHl7(settings, message); };
    if (settings.storageCommitment)
        t.commit = [settings](const std::string& transactionUid,
                              const std::vector<std::filesystem::path>& files) {
            // A report on this association is awaited a short while; the archive may as well
            // send it later to the store SCP.
            return requestCommitment(settings, settings.pacs, transactionUid, files,
                                     std::min(settings.timeoutSeconds, 3));
        };
    t.commitmentWaitSeconds = settings.commitmentWaitSeconds;
    return t;
}

Outbox::Outbox(std::filesystem::path workDir) : folder_(std::move(workDir) / kOutboxFolder) {}

Result<Outbox::Draft> Outbox::begin() const {
    using R = Result<Draft>;
    std::error_code ec;
    std::filesystem::create_directories(folder_, ec);
    if (ec)
        return R::failure(ErrorCode::CannotWrite,
                          "Cannot create " + folder_.string() + ": " + ec.message());
    std::string pattern = (folder_ / ".new-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        return R::failure(ErrorCode::CannotWrite, "Cannot create a folder in " + folder_.string() +
                                                      ": " + std::strerror(errno));
    Draft d;
    d.folder = pattern;
    return R::success(d);
}

Result<std::string> Outbox::commit(Draft& draft) const {
    using R = Result<std::string>;
    OutboxEntry& e = draft.entry;
    e.fileSent.assign(e.files.size(), false);
    e.state = EntryState::Waiting;
    for (const auto& f : e.files)
        if (auto s = syncPath(draft.folder / f, false); !s)
            return R::failure(s);
    if (auto s = writeText(draft.folder / kEntryFile, describe(e)); !s)
        return R::failure(s);
    if (auto s = writeText(draft.folder / kStateFile, stateText(e)); !s)
        return R::failure(s);
    const std::string suffix = draft.folder.filename().string().substr(5); // after ".new-"
    const std::time_t now = std::time(nullptr);
    e.id = stamp(now) + "-" + suffix;
    e.folder = folder_ / e.id;
    if (::rename(draft.folder.c_str(), e.folder.c_str()) != 0)
        return R::failure(ErrorCode::CannotWrite, "Cannot move the entry into " + folder_.string() +
                                                      ": " + std::strerror(errno));
    if (auto s = syncPath(folder_, true); !s)
        return R::failure(s);
    return R::success(e.id);
}

Result<std::vector<OutboxEntry>> Outbox::list() const {
    using R = Result<std::vector<OutboxEntry>>;
    std::vector<OutboxEntry> out;
    std::error_code ec;
    if (!std::filesystem::exists(folder_, ec))
        return R::success(out);
    for (const auto& d : std::filesystem::directory_iterator(folder_, ec)) {
        const std::string name = d.path().filename().string();
        if (name.empty() || name[0] == '.' || !d.is_directory())
            continue;
        OutboxEntry e;
        e.id = name;
        e.folder = d.path();
        bool ok = false;
        for (const auto& [k, v] : readPairs(d.path() / kEntryFile, ok)) {
            if (k == "destination")
                e.destination = v == "hl7" ? Destination::Hl7 : Destination::Pacs;
            else if (k == "patient")
                e.patientId = v;
            else if (k == "recording")
                e.recording = static_cast<int>(toInt(v));
            else if (k == "recorded_at")
                e.recordedAt = v;
            else if (k == "label")
                e.label = v;
            else if (k == "file")
                e.files.push_back(v);
        }
        bool stateOk = false;
        std::string sent;
        for (const auto& [k, v] : readPairs(d.path() / kStateFile, stateOk)) {
            if (k == "state")
                e.state = v == "sent"                  ? EntryState::Sent
                          : v == "failed"              ? EntryState::Failed
                          : v == "withdrawn"           ? EntryState::Withdrawn
                          : v == "awaiting_commitment" ? EntryState::AwaitingCommitment
                          : v == "committed"           ? EntryState::Committed
                                                       : EntryState::Waiting;
            else if (k == "attempts")
                e.attempts = static_cast<int>(toInt(v));
            else if (k == "next_attempt")
                e.nextAttempt = toInt(v);
            else if (k == "sent_at")
                e.sentAt = toInt(v);
            else if (k == "reason")
                e.reason = v;
            else if (k == "files_sent")
                sent = v;
            else if (k == "commit_transaction")
                e.commitTransaction = v;
            else if (k == "commit_asked_at")
                e.commitAskedAt = toInt(v);
        }
        e.fileSent.assign(e.files.size(), false);
        for (std::size_t i = 0; i < e.files.size() && i < sent.size(); ++i)
            e.fileSent[i] = sent[i] == '1';
        if (!ok || !stateOk || e.files.empty()) {
            e.state = EntryState::Failed;
            e.reason = "The entry " + name + " cannot be read";
        }
        out.push_back(std::move(e));
    }
    std::sort(out.begin(), out.end(),
              [](const OutboxEntry& a, const OutboxEntry& b) { return a.id < b.id; });
    return R::success(out);
}

Status Outbox::writeState(const OutboxEntry& entry) const {
    return writeText(entry.folder / kStateFile, stateText(entry));
}

Status Outbox::attempt(OutboxEntry& e, const Transport& transport, std::int64_t now) const {
    ++e.attempts;
    auto later = [&](const std::string& why) {
        e.state = EntryState::Waiting;
        e.reason = why;
        e.nextAttempt = now + retryDelaySeconds(e.attempts);
    };
    if (e.destination == Destination::Hl7) {
        std::ifstream in(e.folder / e.files.front(), std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        if (!in) {
            e.state = EntryState::Failed;
            e.reason = "Cannot read " + (e.folder / e.files.front()).string();
            return writeState(e);
        }
        const Status s = transport.hl7(text.str());
        if (s) {
            e.fileSent.assign(e.files.size(), true);
            e.state = EntryState::Sent;
            e.sentAt = now;
            e.reason.clear();
        } else if (s.code == ErrorCode::Failed) {
            e.state = EntryState::Failed;
            e.reason = s.message;
        } else {
            later(s.message);
        }
        return writeState(e);
    }
    std::vector<std::filesystem::path> files;
    std::vector<std::size_t> index;
    for (std::size_t i = 0; i < e.files.size(); ++i)
        if (!e.fileSent[i]) {
            files.push_back(e.folder / e.files[i]);
            index.push_back(i);
        }
    if (!files.empty()) {
        auto outcomes = transport.store(files);
        if (!outcomes) {
            if (outcomes.code == ErrorCode::Failed) {
                e.state = EntryState::Failed;
                e.reason = outcomes.message;
            } else {
                later(outcomes.message);
            }
            return writeState(e);
        }
        bool refused = false;
        for (std::size_t k = 0; k < outcomes.value.size() && k < index.size(); ++k) {
            const StoreOutcome& o = outcomes.value[k];
            if (o.stored) {
                e.fileSent[index[k]] = true;
            } else if (!refused) {
                refused = true;
                char code[16];
                std::snprintf(code, sizeof code, "0x%04X", o.status);
                e.reason = e.files[index[k]] + ": " + o.reason + " (" + code + ")";
            }
        }
        if (refused) {
            e.state = EntryState::Failed;
            return writeState(e);
        }
        if (!std::all_of(e.fileSent.begin(), e.fileSent.end(), [](bool b) { return b; })) {
            later("Not every object was answered");
            return writeState(e);
        }
    }
    e.sentAt = now;
    e.reason.clear();
    if (!transport.commit) {
        e.state = EntryState::Sent;
        return writeState(e);
    }
    // The transaction is in the state before it is asked for, so its report always finds it.
    e.state = EntryState::AwaitingCommitment;
    e.commitTransaction = newUid();
    e.commitAskedAt = 0;
    if (auto s = writeState(e); !s)
        return s;
    return askCommitment(e, transport, now);
}

Status Outbox::askCommitment(OutboxEntry& e, const Transport& transport, std::int64_t now) const {
    std::vector<std::filesystem::path> files;
    for (const auto& f : e.files)
        files.push_back(e.folder / f);
    auto asked = transport.commit(e.commitTransaction, files);
    if (!asked) {
        if (asked.code == ErrorCode::Failed) {
            e.state = EntryState::Failed;
            e.reason = "Storage commitment: " + asked.message;
        } else {
            e.reason = "Storage commitment not asked yet: " + asked.message;
            e.nextAttempt = now + retryDelaySeconds(e.attempts);
        }
        return writeState(e);
    }
    e.commitAskedAt = now;
    e.reason.clear();
    if (asked.value)
        return takeReport(e, *asked.value, now);
    return writeState(e);
}

Status Outbox::takeReport(OutboxEntry& e, const CommitmentReport& report, std::int64_t now) const {
    if (e.state != EntryState::AwaitingCommitment || report.transactionUid != e.commitTransaction)
        return Status::success();
    if (report.allCommitted()) {
        e.state = EntryState::Committed;
        e.reason.clear();
        return writeState(e);
    }
    // Not committed: sent again (the same instances) after the pause, then asked again.
    std::string why = "Storage commitment failed:";
    for (const auto& f : report.failed) {
        char code[16];
        std::snprintf(code, sizeof code, "0x%04X", f.reason);
        why += " " + (f.instanceUid.empty() ? std::string("(no UID)") : f.instanceUid) + ": " +
               commitmentFailureText(f.reason) + " (" + code + ");";
    }
    why.pop_back();
    e.state = EntryState::Waiting;
    e.reason = why;
    e.fileSent.assign(e.files.size(), false);
    e.nextAttempt = now + retryDelaySeconds(e.attempts);
    e.commitTransaction.clear();
    e.commitAskedAt = 0;
    return writeState(e);
}

Status Outbox::keepReport(const CommitmentReport& report) const {
    if (!validUid(report.transactionUid))
        return Status::failure(ErrorCode::InvalidArgument,
                               "A storage commitment report without a valid transaction UID");
    const auto folder = folder_ / kReportsFolder;
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec)
        return Status::failure(ErrorCode::CannotWrite,
                               "Cannot create " + folder.string() + ": " + ec.message());
    if (auto s = writeText(folder / report.transactionUid, reportText(report)); !s)
        return s;
    return syncPath(folder, true);
}

Status Outbox::takeReports(std::int64_t now) const {
    std::error_code ec;
    if (!std::filesystem::is_directory(folder_ / kReportsFolder, ec))
        return Status::success();
    WorkLock lock(folder_);
    if (!lock.held())
        return Status::failure(ErrorCode::Busy, "The outbox is being sent by another program");
    auto entries = list();
    if (!entries)
        return entries;
    return takeKeptReports(entries.value, now);
}

Status Outbox::takeKeptReports(std::vector<OutboxEntry>& entries, std::int64_t now) const {
    const auto folder = folder_ / kReportsFolder;
    std::error_code ec;
    if (!std::filesystem::is_directory(folder, ec))
        return Status::success();
    std::vector<std::filesystem::path> kept;
    for (const auto& d : std::filesystem::directory_iterator(folder, ec))
        if (d.is_regular_file() && validUid(d.path().filename().string()))
            kept.push_back(d.path());
    for (const auto& path : kept) {
        const auto report = readReport(path);
        if (!report)
            continue; // being written
        for (OutboxEntry& e : entries)
            if (e.state == EntryState::AwaitingCommitment &&
                e.commitTransaction == report->transactionUid)
                if (auto s = takeReport(e, *report, now); !s)
                    return s;
        // Taken, or of a transaction no entry waits for any more (the entry was sent again).
        std::filesystem::remove(path, ec);
    }
    return Status::success();
}

Result<Outbox::Summary> Outbox::process(const Transport& transport, std::int64_t now,
                                        bool all) const {
    using R = Result<Summary>;
    Summary sum;
    std::error_code ec;
    if (!std::filesystem::exists(folder_, ec))
        return R::success(sum);
    WorkLock lock(folder_);
    if (!lock.held()) {
        sum.busy = 1;
        if (lock.busy())
            return R::success(sum);
        return R::failure(ErrorCode::CannotOpen, "Cannot lock " + (folder_ / ".lock").string());
    }
    auto entries = list();
    if (!entries)
        return R::failure(entries);
    if (auto s = takeKeptReports(entries.value, now); !s)
        return R::failure(s);
    for (OutboxEntry& e : entries.value) {
        if (e.state == EntryState::Waiting && (all || e.nextAttempt <= now))
            if (auto s = attempt(e, transport, now); !s)
                return R::failure(s);
        if (e.state == EntryState::AwaitingCommitment && e.commitAskedAt == 0 &&
            (all || e.nextAttempt <= now)) {
            Status s;
            if (transport.commit) {
                ++e.attempts;
                s = askCommitment(e, transport, now);
            } else { // switched off before it was asked
                e.state = EntryState::Sent;
                e.reason.clear();
                s = writeState(e);
            }
            if (!s)
                return R::failure(s);
        }
        if (e.state == EntryState::AwaitingCommitment && e.commitAskedAt > 0 &&
            now - e.commitAskedAt >= transport.commitmentWaitSeconds && e.reason.empty()) {
            const int wait = transport.commitmentWaitSeconds;
            e.reason =
                "No storage commitment report within " +
                (wait % 60 == 0 ? std::to_string(wait / 60) + " min" : std::to_string(wait) + " s");
            if (auto s = writeState(e); !s)
                return R::failure(s);
        }
        switch (e.state) {
        case EntryState::Sent:
            ++sum.sent;
            break;
        case EntryState::Waiting:
            ++sum.waiting;
            break;
        case EntryState::Failed:
            ++sum.failed;
            break;
        case EntryState::Withdrawn:
            ++sum.withdrawn;
            break;
        case EntryState::AwaitingCommitment:
            ++sum.awaitingCommitment;
            break;
        case EntryState::Committed:
            ++sum.committed;
            break;
        }
    }
    return R::success(sum);
}

Result<int> Outbox::retry(const std::string& id) const {
    using R = Result<int>;
    std::error_code ec;
    if (!std::filesystem::exists(folder_, ec))
        return R::success(0);
    WorkLock lock(folder_);
    if (!lock.held())
        return R::failure(ErrorCode::Busy, "The outbox is being sent by another program");
    auto entries = list();
    if (!entries)
        return R::failure(entries);
    int n = 0;
    for (OutboxEntry& e : entries.value) {
        // Of the delivered entries only one named that went through storage commitment: the
        // archive is asked again.
        const bool commitAgain = !id.empty() && (e.state == EntryState::AwaitingCommitment ||
                                                 e.state == EntryState::Committed);
        if ((!id.empty() && e.id != id) || (e.state == EntryState::Sent) ||
            (delivered(e.state) && !commitAgain) ||
            (id.empty() && e.state == EntryState::Withdrawn))
            continue;
        if (e.files.empty())
            continue; // unreadable: nothing to try
        // A delivered entry keeps its files marked sent: only the commitment is asked again.
        e.state = EntryState::Waiting;
        e.nextAttempt = 0;
        e.commitTransaction.clear();
        e.commitAskedAt = 0;
        if (auto s = writeState(e); !s)
            return R::failure(s);
        ++n;
    }
    return R::success(n);
}

Status Outbox::withdraw(const std::string& id) const {
    std::error_code ec;
    if (id.empty() || !std::filesystem::exists(folder_ / id, ec))
        return Status::failure(ErrorCode::InvalidArgument, "The outbox holds no entry " + id);
    WorkLock lock(folder_);
    if (!lock.held())
        return Status::failure(ErrorCode::Busy, "The outbox is being sent by another program");
    auto entries = list();
    if (!entries)
        return entries;
    for (OutboxEntry& e : entries.value) {
        if (e.id != id)
            continue;
        if (delivered(e.state))
            return Status::failure(ErrorCode::InvalidArgument,
                                   "The entry " + id + " was sent already");
        if (e.files.empty())
            return Status::failure(ErrorCode::InvalidArgument,
                                   "The entry " + id + " cannot be read");
        e.state = EntryState::Withdrawn;
        e.nextAttempt = 0;
        return writeState(e);
    }
    return Status::failure(ErrorCode::InvalidArgument, "The outbox holds no entry " + id);
}

} // namespace velkard::net
