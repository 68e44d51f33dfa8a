// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated instrument's memory card: serves the files of one host folder (plus optional
// in-memory entries) over the device memory protocol.
//
// For the simulated instrument (sim/Instrument.h): install it with
//   instrument.setMemoryHandler([&card](uint8_t b, std::vector<uint8_t>& r) { card.onHostByte(b,
//   r); });
// Used on its own: while active() is false, hand every byte 0x60..0x66 to
// onHostByte(); while active() is true, hand it every byte the host sends. Replies go out through
// the ByteSink given with the byte. The card is driven from one thread (the instrument's); it is
// not thread-safe. Pacing of the wire (e.g. 3,000,000 baud) is the sink's business, not the card's.
#pragma once

#include "wire/MemoryWire.h"
#include <cstddef>
#include <cstdint>

#include <deque>
#include <filesystem>
#include <string>
#include <vector>

namespace velkard::sim {

class ByteSink {
public:
    virtual ~ByteSink() = default;
    virtual void send(const std::uint8_t* data, std::size_t n) = 0;
};

namespace memcmd {
using namespace memory::cmd;
using namespace memory::reply;
using memory::kBlockBytes;
using memory::kFirstBlockHeader;
} // namespace memcmd

// Fault switches of the card, for tests and demos.
struct MemoryCardFaults {
    bool cardMissing = false;   // every List, Read and Delete is answered with 0x77
    bool garbageFiller = false; // listing blocks are padded with random bytes without '>'
                                // (they may contain '<') instead of zero bytes
    std::size_t listingBlockBytes = memcmd::kBlockBytes; // size of each listing block (>= 3000)
    bool badFirstBlockMarkers = false;   // the first data block's 0x7C markers are sent as zeros
    bool readAcceptedUnasked = false;    // answer Continue in idle with 0x80 and a 10-byte file
    std::size_t stopAfterDataBlocks = 0; // stop answering after this many data blocks (0: never)
    std::size_t chunkBytes = 0;          // deliver each reply in pieces of this size (0: whole)
    int strayBeforeReply = -1; // 0..255: sent on its own before every one-byte reply (line noise)
    // Each of these strikes once; the card then answers normally again.
    bool strayWhenIdle = false;    // unasked Delete finished and Read finished after each listing
    std::size_t stallInBlock = 0;  // the N-th data block (1-based) stops half-way; the card forgets
                                   // the read
    bool dropByteInBlock = false;  // the first data block loses its middle byte
    bool extraByteInBlock = false; // the first data block gains a byte in the middle
};

class MemoryCard {
public:
    // Serves the regular files and folders directly inside folder (no recursion), sorted by name.
    // An empty path gives a card with only the entries added below.
    explicit MemoryCard(std::filesystem::path folder = {});

    // In-memory entries, listed after the folder's. Their names may hold any bytes (hostile names
    // for tests); they are never touched on disk.
    void addFile(std::string name, std::string content);

    MemoryCardFaults& faults() { return faults_; }

    // True between Enter memory mode (0x60) and Leave memory mode (0x61).
    bool active() const { return active_; }

    void onHostByte(std::uint8_t byte, ByteSink& toHost);
    // The same, appending the reply bytes (fits Instrument::MemoryHandler).
    void onHostByte(std::uint8_t byte, std::vector<std::uint8_t>& reply);

    // Names as listed now (folders with a trailing '/'), in listing order.
    std::vector<std::string> names() const;
    std::size_t dataBlocksSent() const { return dataBlocksSent_; }

private:
    struct Entry {
        std::string name;
        bool folder = false;
        bool onDisk = false;
        std::string content; // in-memory entries only
    };
    enum class Mode { Idle, Listing, ReadAccepted, Reading, NameForRead, NameForDelete, Stopped };

    std::vector<Entry> entries() const;
    void startListing();
    void finishName(ByteSink& toHost);
    void sendNextDataBlock(ByteSink& toHost);
    void reply(const std::uint8_t* data, std::size_t n, ByteSink& toHost);
    void reply(std::uint8_t byte, ByteSink& toHost);

    std::filesystem::path folder_;
    std::vector<Entry> memoryEntries_;
    MemoryCardFaults faults_;
    bool active_ = false;
    Mode mode_ = Mode::Idle;
    std::string name_;
    std::deque<std::vector<std::uint8_t>> pendingBlocks_;
    std::string readData_;
    std::size_t readOffset_ = 0;
    bool firstBlock_ = true;
    std::size_t dataBlocksSent_ = 0;
    std::uint32_t fillerSeed_ = 12345;
};

} // namespace velkard::sim
