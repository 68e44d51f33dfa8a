// SPDX-License-Identifier: GPL-3.0-or-later
// The instrument's memory card: list, download and delete files over the memory protocol.
#include "cli/Cli.h"
#include "links/MakeLink.h"
#include "memory/FileListModel.h"
#include "memory/MemoryProtocol.h"
#include "signal/Cp1251.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <iostream>
#include <mutex>

namespace velkard::cli {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

int runMemory(const std::vector<std::string>& argv);

const Command kMemory{
    "memory", "list, download or delete the files on the instrument's memory card",
    "Usage: velkard-cli memory --port PORT [--dir DIR] list\n"
    "       velkard-cli memory --port PORT [--dir DIR] get NAME...\n"
    "       velkard-cli memory --port PORT [--dir DIR] delete NAME...\n\n"
    "Opens a memory connection to the instrument on PORT (SIM for the simulated instrument, a tty\n"
    "path such as /dev/ttyUSB0 or the pseudo-terminal printed by velkard-instrument, "
    "USB:VVVV:PPPP\n"
    "for the bridge with that USB vendor and product ID, anything else for FTDI's own bridges,\n"
    "found through /dev/ttyUSB* when the kernel driver holds them, else over libftdi1) and asks\n"
    "it for the card's listing.\n"
    "  list     prints one entry per line, in the instrument's order; folders end with \"/\".\n"
    "  get      copies the named files byte for byte into DIR/temp (DIR defaults to the current\n"
    "           folder; temp is created when missing) and prints the path of each file saved.\n"
    "  delete   deletes the named files on the card.\n"
    "Names are given as list prints them. Fails (status 1) with one line per problem on stderr:\n"
    "\"Прибор не найден\" (with the reason) when no instrument answers, \"SD карта не найдена\"\n"
    "when it has no card, \"Прибор не отвечает\" when a reply stops coming, \"Связь с прибором\n"
    "потеряна\" when the instrument goes away (nothing is left of a file cut short), an unknown\n"
    "name, a name that cannot be saved safely, or a file that cannot be written.\n",
    runMemory};

const Registration regMemory{kMemory};

// A console device file list: the thread-safe model plus a way to wait for the worker.
class ConsoleList : public memory::FileListModel {
public:
    memory::MemoryConnection* connection = nullptr;

    void report(const memory::MemoryReport& report) override {
        {
            std::lock_guard lock(dataMutex_);
            if (report.problem == memory::MemoryProblem::LinkLost)
                linkLost_ = true;
            messages_.push_back(memory::memoryMessage(report, true).text);
        }
        bump();
    }
    void refresh() override {
        refreshes_.fetch_add(1);
        clearEntries();
        if (connection)
            connection->requestListing();
        bump();
    }
    void onReply(memory::ReplyKind kind) {
        if (kind == memory::ReplyKind::ListingBlock)
            listingBlocks_.fetch_add(1);
        bump();
    }

    std::vector<std::string> messages() {
        std::lock_guard lock(dataMutex_);
        return messages_;
    }
    // The connection has said the instrument went away; nothing more will come.
    bool linkLost() {
        std::lock_guard lock(dataMutex_);
        return linkLost_;
    }
    int refreshes() const { return refreshes_.load(); }
    int listingBlocks() const { return listingBlocks_.load(); }

    // Waits until pred() holds; false when nothing at all happened for `idle`.
    template <class Pred> bool waitFor(Pred pred, std::chrono::milliseconds idle) {
        for (;;) {
            const unsigned seen = version_.load();
            if (pred())
                return true;
            std::unique_lock lock(waitMutex_);
            if (!cv_.wait_for(lock, idle, [&] { return version_.load() != seen; }))
                return pred();
        }
    }

protected:
    void entryAppended(const std::string&) override { bump(); }
    void entriesCleared() override { bump(); }
    void listEnabledChanged(bool) override { bump(); }
    void progressChanged(std::int64_t, std::int64_t, std::int64_t) override { bump(); }

private:
    void bump() {
        {
            std::lock_guard lock(waitMutex_);
            version_.fetch_add(1);
        }
        cv_.notify_all();
    }

    std::mutex dataMutex_;
    std::vector<std::string> messages_;
    bool linkLost_ = false;
    std::atomic<int> refreshes_{0};
    std::atomic<int> listingBlocks_{0};
    std::mutex waitMutex_;
    std::condition_variable cv_;
    std::atomic<unsigned> version_{0};
};

constexpr auto kFirstReply = 5000ms; // the instrument answers a request well within this
constexpr auto kQuiet = 500ms;       // no further listing block after this: the listing is complete
constexpr const char* kNoAnswer = "Прибор не отвечает";

// Waits until the listing that the last refresh asked for is complete. Empty on success, else the
// error to report.
std::string awaitListing(ConsoleList& list, int blocksBefore, std::size_t messagesBefore) {
    if (!list.waitFor(
            [&] {
                return list.listingBlocks() > blocksBefore ||
                       list.messages().size() > messagesBefore;
            },
            kFirstReply))
        return kNoAnswer;
    for (;;) {
        const int n = list.listingBlocks();
        if (!list.waitFor([&] { return list.listingBlocks() != n; }, kQuiet))
            break;
    }
    const auto messages = list.messages();
    if (messages.size() > messagesBefore)
        return messages[messagesBefore];
    return {};
}

int reportMessages(const std::vector<std::string>& messages) {
    for (const auto& m : messages)
        std::cerr << "velkard-cli: " << m << '\n';
    return messages.empty() ? kOk : kFailure;
}

int runMemory(const std::vector<std::string>& argv) {
    Args args(argv, {"port", "dir"}, {});
    if (args.wantsHelp()) {
        std::cout << kMemory.help;
        return kOk;
    }
    if (!args.ok())
        return usage(kMemory, args.error());
    const auto port = args.value("port");
    if (!port || port->empty())
        return usage(kMemory, "--port is required");
    const auto& pos = args.positional();
    if (pos.empty())
        return usage(kMemory, "expected list, get or delete");
    const std::string action = pos[0];
    const std::vector<std::string> names(pos.begin() + 1, pos.end());
    if (action == "list") {
        if (!names.empty())
            return usage(kMemory, "list takes no names");
    } else if (action == "get" || action == "delete") {
        if (names.empty())
            return usage(kMemory, action + " needs at least one name");
    } else {
        return usage(kMemory, "unknown action " + action);
    }

    const fs::path downloadDir = fs::path(args.valueOr("dir", ".")) / "temp";
    if (action == "get") {
        std::error_code ec;
        fs::create_directories(downloadDir, ec); // a failure is reported when a file is created
    }

    auto link = links::makeLink(*port);
    ConsoleList list;
    memory::MemoryConnection connection(*link, list, downloadDir);
    list.connection = &connection;
    connection.setReplyObserver([&list](memory::ReplyKind k) { list.onReply(k); });
    connection.setLog(
        [](const std::string& line) { std::cerr << "velkard-cli: " << line << '\n'; });

    // The work runs while the connection is up, where the program shows its modal window.
    std::string error;
    std::vector<std::string> wanted;
    const auto kind = action == "get" ? memory::RequestKind::Read : memory::RequestKind::Delete;
    const auto work = [&] {
        const int blocks = list.listingBlocks();
        list.refresh();
        error = awaitListing(list, blocks, 0);
        if (!error.empty() || action == "list")
            return;
        // Select the named files; every name must be a file on the card.
        const auto entries = list.entries();
        for (const auto& n : names) {
            const std::string raw = signal::utf8ToCp1251(n);
            const auto it = std::find(entries.begin(), entries.end(), raw);
            if (it == entries.end() || memory::isFolderEntry(raw)) {
                error = "нет такого файла на карте: " + n;
                return;
            }
            list.setSelected(static_cast<std::size_t>(it - entries.begin()), true);
            wanted.push_back(raw);
        }
        const int refreshesBefore = list.refreshes();
        const int blocksBefore = list.listingBlocks();
        if (!connection.requestNextSelected(kind))
            return; // every name was refused; the messages say why
        // A lost link ends the wait at once; its own message is reported with the others.
        const bool done =
            kind == memory::RequestKind::Read
                ? list.waitFor([&] { return list.listEnabled() || list.linkLost(); }, kFirstReply)
                : list.waitFor(
                      [&] { return list.refreshes() > refreshesBefore || list.linkLost(); },
                      kFirstReply);
        if (list.linkLost())
            return;
        if (!done) {
            error = kNoAnswer;
            return;
        }
        if (kind == memory::RequestKind::Delete)
            error = awaitListing(list, blocksBefore, list.messages().size());
    };
    if (memory::runMemoryConnection(connection, list, work) == memory::StartResult::NotFound) {
        const std::string reason = device::openFailureText(link->openProblem(), true);
        return fail(reason.empty() ? std::string(memory::kNotFoundRu)
                                   : std::string(memory::kNotFoundRu) + ": " + reason);
    }
    if (!error.empty())
        return fail(error);

    if (action == "list") {
        for (const auto& e : list.entries())
            std::cout << memory::printableName(e) << '\n';
        return kOk;
    }
    if (kind == memory::RequestKind::Read) {
        const auto selected = list.selectedEntries();
        for (const auto& raw : wanted) {
            // A file still selected was never finished (e.g. the card went missing).
            const fs::path p = downloadDir / signal::cp1251ToUtf8(raw);
            std::error_code ec;
            if (memory::checkDownloadName(raw) == memory::NameProblem::None &&
                std::find(selected.begin(), selected.end(), raw) == selected.end() &&
                fs::symlink_status(p, ec).type() == fs::file_type::regular)
                std::cout << p.string() << '\n';
        }
    }
    return reportMessages(list.messages());
}

} // namespace
} // namespace velkard::cli
