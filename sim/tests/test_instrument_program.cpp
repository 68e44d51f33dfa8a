// SPDX-License-Identifier: GPL-3.0-or-later
// velkard-instrument as a user runs it: the pseudo-terminal path on the first line, the stream on
// that terminal, --make-card, and wrong usage.
#include "signal/SampleRecord.h"
#include "sim/SyntheticEcg.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

extern char** environ;

namespace velkard::sim {
namespace {

struct Spawned {
    pid_t pid = -1;
    int out = -1; // read end of its stdout
    int err = -1; // read end of its stderr, when asked for
};

Spawned spawnInstrument(std::vector<std::string> args, bool keepStderr = false) {
    args.insert(args.begin(), VELKARD_INSTRUMENT_PATH);
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    int fds[2], errFds[2] = {-1, -1};
    EXPECT_EQ(::pipe(fds), 0);
    if (keepStderr) {
        EXPECT_EQ(::pipe(errFds), 0);
    }
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, fds[1], 1);
    posix_spawn_file_actions_addclose(&fa, fds[0]);
    if (keepStderr) {
        posix_spawn_file_actions_adddup2(&fa, errFds[1], 2);
        posix_spawn_file_actions_addclose(&fa, errFds[0]);
    } else {
        posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
    }
    Spawned s;
    EXPECT_EQ(posix_spawn(&s.pid, argv[0], &fa, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&fa);
    ::close(fds[1]);
    s.out = fds[0];
    if (keepStderr) {
        ::close(errFds[1]);
        s.err = errFds[0];
    }
    return s;
}

std::string readAll(int fd) {
    std::string text;
    char buf[256];
    ssize_t n;
    while ((n = ::read(fd, buf, sizeof buf)) > 0)
        text.append(buf, static_cast<std::size_t>(n));
    return text;
}

std::string readLine(int fd) {
    std::string line;
    char c;
    while (::read(fd, &c, 1) == 1 && c != '\n')
        line += c;
    return line;
}

int waitExit(pid_t pid) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Starts the instrument with args, reads `frames` frames of its stream from the printed terminal
// and checks them against the expected records; ends the instrument.
void expectStream(std::vector<std::string> args,
                  const std::vector<signal::SampleRecord>& expected) {
    Spawned s = spawnInstrument(std::move(args));
    const std::string path = readLine(s.out);
    ASSERT_EQ(path.rfind("/dev/pts/", 0), 0u) << path;

    const int tty = ::open(path.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(tty, 0);
    const std::uint8_t start = 0x5A;
    ASSERT_EQ(::write(tty, &start, 1), 1);
    std::vector<std::uint8_t> bytes;
    while (bytes.size() < 24 * expected.size()) {
        pollfd p{tty, POLLIN, 0};
        ASSERT_GT(::poll(&p, 1, 10000), 0) << "no data from the instrument";
        std::uint8_t buf[512];
        const ssize_t n = ::read(tty, buf, sizeof buf);
        ASSERT_GT(n, 0);
        bytes.insert(bytes.end(), buf, buf + n);
    }
    const std::uint8_t stop = 0xA5;
    ASSERT_EQ(::write(tty, &stop, 1), 1);
    ::close(tty);

    for (std::size_t f = 0; f < expected.size(); ++f) {
        ASSERT_EQ(bytes[f * 24], 0xF0);
        ASSERT_EQ(bytes[f * 24 + 1], 0x0F);
        for (std::size_t k = 0; k < 8; ++k)
            ASSERT_EQ(signal::readLe16(&bytes[f * 24 + 8 + 2 * k]), expected[f].c[k]) << f;
    }
    ::kill(s.pid, SIGTERM);
    EXPECT_EQ(waitExit(s.pid), 0);
    ::close(s.out);
}

TEST(InstrumentProgram, ServesTheSeededStreamOnThePrintedTerminal) {
    expectStream({"--seed", "9"}, SyntheticEcg::records(9, 100));
}

TEST(InstrumentProgram, ServesTheChosenBeatsAndNoise) {
    EcgParameters params;
    ASSERT_TRUE(parseBeatParameters("hr=72,pr=160,qrs=90,qt=400,axis=60", params.beat).ok());
    ASSERT_TRUE(parseNoiseParameters("mains=60,white=0.02", params.noise).ok());
    // The first QRS comes at 0.3 s: 400 frames hold the first P and QRS.
    expectStream({"--seed", "5", "--beat", "hr=72,pr=160,qrs=90,qt=400,axis=60", "--noise",
                  "mains=60,white=0.02"},
                 SyntheticEcg::records(5, params, 400));
}

TEST(InstrumentProgram, SentKeepsACopyOfEveryByteTheHostGets) {
    const auto sent = std::filesystem::temp_directory_path() /
                      ("velkard-sent-" + std::to_string(::getpid()) + ".bin");
    Spawned s = spawnInstrument({"--seed", "3", "--sent", sent.string()});
    const std::string path = readLine(s.out);
    ASSERT_EQ(path.rfind("/dev/pts/", 0), 0u) << path;
    const int tty = ::open(path.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(tty, 0);
    const std::uint8_t start = 0x5A;
    ASSERT_EQ(::write(tty, &start, 1), 1);
    std::string got;
    while (got.size() < 24 * 200) {
        pollfd p{tty, POLLIN, 0};
        ASSERT_GT(::poll(&p, 1, 10000), 0) << "no data from the instrument";
        char buf[512];
        const ssize_t n = ::read(tty, buf, sizeof buf);
        ASSERT_GT(n, 0);
        got.append(buf, static_cast<std::size_t>(n));
    }
    ::kill(s.pid, SIGTERM);
    EXPECT_EQ(waitExit(s.pid), 0);
    ::close(s.out);
    // Whatever was still on its way when the instrument ended is in the copy too.
    while (true) {
        pollfd p{tty, POLLIN, 0};
        char buf[512];
        if (::poll(&p, 1, 100) <= 0 || !(p.revents & POLLIN))
            break;
        const ssize_t n = ::read(tty, buf, sizeof buf);
        if (n <= 0)
            break;
        got.append(buf, static_cast<std::size_t>(n));
    }
    ::close(tty);
    std::FILE* f = std::fopen(sent.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    std::string copy;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        copy.append(buf, n);
    std::fclose(f);
    std::filesystem::remove(sent);
    // The terminal may drop what was in flight when the instrument ended; what it gave matches.
    ASSERT_GE(copy.size(), got.size());
    EXPECT_EQ(copy.substr(0, got.size()), got);
    EXPECT_EQ(static_cast<unsigned char>(copy[0]), 0xF0);
}

// Reads from the terminal until it holds at least n bytes; false when nothing comes for 10 s.
bool readAtLeast(int tty, std::size_t n, std::string& got) {
    while (got.size() < n) {
        pollfd p{tty, POLLIN, 0};
        if (::poll(&p, 1, 10000) <= 0)
            return false;
        char buf[512];
        const ssize_t r = ::read(tty, buf, sizeof buf);
        if (r <= 0)
            return false;
        got.append(buf, static_cast<std::size_t>(r));
    }
    return true;
}

std::string readFile(const std::filesystem::path& path) {
    std::string content;
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        char buf[4096];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
            content.append(buf, n);
        std::fclose(f);
    }
    return content;
}

// The number in the log line "velkard-instrument: WHAT after N bytes sent", or -1.
long long loggedOffset(const std::string& line, const std::string& what) {
    const std::string head = "velkard-instrument: " + what + " after ";
    if (line.rfind(head, 0) != 0 || line.find(" bytes sent") == std::string::npos)
        return -1;
    return std::stoll(line.substr(head.size()));
}

TEST(InstrumentProgram, UnpluggedItGoesOffAndComesBackIdleWithNothingOldOnTheTerminal) {
    const auto sent = std::filesystem::temp_directory_path() /
                      ("velkard-unplug-sent-" + std::to_string(::getpid()) + ".bin");
    Spawned s = spawnInstrument({"--seed", "4", "--sent", sent.string()}, true);
    const std::string path = readLine(s.out);
    ASSERT_EQ(path.rfind("/dev/pts/", 0), 0u) << path;
    const int tty = ::open(path.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(tty, 0);
    const std::uint8_t start = 0x5A;
    ASSERT_EQ(::write(tty, &start, 1), 1);
    std::string before;
    ASSERT_TRUE(readAtLeast(tty, 24 * 100, before));

    // Unplugged while streaming, and nobody reads for a while: the stream would pile up.
    ::kill(s.pid, SIGUSR1);
    const std::string unplugged = readLine(s.err);
    const long long unpluggedAt = loggedOffset(unplugged, "unplugged");
    ASSERT_GE(unpluggedAt, static_cast<long long>(before.size())) << unplugged;
    ::usleep(300 * 1000);
    ::kill(s.pid, SIGUSR2);
    const std::string plugged = readLine(s.err);
    // Nothing was sent while unplugged.
    EXPECT_EQ(loggedOffset(plugged, "plugged in"), unpluggedAt) << plugged;

    // Back idle: nothing of the old stream is left and nothing comes until the start byte ...
    pollfd p{tty, POLLIN, 0};
    EXPECT_EQ(::poll(&p, 1, 200), 0) << "bytes from before the unplug or an unasked stream";
    // ... which starts a stream afresh, at a frame.
    ASSERT_EQ(::write(tty, &start, 1), 1);
    std::string after;
    ASSERT_TRUE(readAtLeast(tty, 24 * 50, after));
    ::kill(s.pid, SIGTERM);
    EXPECT_EQ(waitExit(s.pid), 0);
    ::close(s.out);
    ::close(s.err);
    ::close(tty);
    const std::string copy = readFile(sent);
    std::filesystem::remove(sent);
    ASSERT_GE(copy.size(), static_cast<std::size_t>(unpluggedAt) + after.size());
    EXPECT_EQ(copy.substr(static_cast<std::size_t>(unpluggedAt), after.size()), after);
    EXPECT_EQ(static_cast<unsigned char>(after[0]), 0xF0);
    EXPECT_EQ(static_cast<unsigned char>(after[1]), 0x0F);
}

// An unplug and a plug sent while the instrument is not running (a loaded machine, here stopped)
// are both pending when it runs again: it must end plugged in. The kernel set up SIGUSR1's handler
// and ran SIGUSR2's on top of it before SIGUSR1's own, so the instrument stayed off for good and
// the QEMU test's next download found no instrument.
TEST(InstrumentProgram, AnUnplugAndAPlugArrivingTogetherEndPluggedIn) {
    Spawned s = spawnInstrument({"--seed", "4"}, true);
    const std::string path = readLine(s.out);
    ASSERT_EQ(path.rfind("/dev/pts/", 0), 0u) << path;
    const int tty = ::open(path.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(tty, 0);
    ::kill(s.pid, SIGSTOP);
    ::kill(s.pid, SIGUSR1);
    ::kill(s.pid, SIGUSR2);
    ::kill(s.pid, SIGCONT);
    // The log's lines as they come, for up to a second after the last.
    std::string log;
    for (pollfd p{s.err, POLLIN, 0}; ::poll(&p, 1, 1000) > 0;) {
        char buf[256];
        const ssize_t r = ::read(s.err, buf, sizeof buf);
        if (r <= 0)
            break;
        log.append(buf, static_cast<std::size_t>(r));
    }
    EXPECT_NE(log.find("unplugged after"), std::string::npos) << log;
    ASSERT_NE(log.rfind("plugged in after"), std::string::npos) << log;
    EXPECT_GT(log.rfind("plugged in after"), log.rfind("unplugged after")) << log;
    // Plugged in, it answers: the start byte starts a stream.
    const std::uint8_t start = 0x5A;
    ASSERT_EQ(::write(tty, &start, 1), 1);
    std::string stream;
    EXPECT_TRUE(readAtLeast(tty, 24 * 10, stream));
    ::kill(s.pid, SIGTERM);
    EXPECT_EQ(waitExit(s.pid), 0);
    ::close(s.out);
    ::close(s.err);
    ::close(tty);
}

TEST(InstrumentProgram, MakeCardFillsAFolderAndExits) {
    const auto dir = std::filesystem::temp_directory_path() /
                     ("velkard-make-card-" + std::to_string(::getpid()));
    Spawned s = spawnInstrument({"--make-card", dir.string()});
    const std::string listing = readAll(s.out);
    EXPECT_EQ(waitExit(s.pid), 0);
    ::close(s.out);
    EXPECT_NE(listing.find("A2000001.DAT\n"), std::string::npos) << listing;
    EXPECT_TRUE(std::filesystem::exists(dir / "VSR00001.DAT"));
    EXPECT_TRUE(std::filesystem::exists(dir / "ECG00003.ECX"));
    std::filesystem::remove_all(dir);
}

TEST(InstrumentProgram, WrongUsageIsRefused) {
    for (const auto& args : std::vector<std::vector<std::string>>{{"--fault", "melt"},
                                                                  {"--card", "/nonexistent/card"},
                                                                  {"--bogus"},
                                                                  {"--sent", "/nonexistent/x"},
                                                                  {"--beat", "hr=0"},
                                                                  {"--noise", "mains=55"}}) {
        Spawned s = spawnInstrument(args);
        const std::string out = readAll(s.out);
        EXPECT_NE(waitExit(s.pid), 0) << args[0];
        EXPECT_TRUE(out.empty()) << out; // no terminal was offered
        ::close(s.out);
    }
}

} // namespace
} // namespace velkard::sim
