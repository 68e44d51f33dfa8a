// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/MemoryCard.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <system_error>

namespace velkard::sim {
namespace {

using namespace memcmd;

constexpr std::size_t kMaxNameBytes = 4096; // longer request names are cut; nothing matches them

class VectorSink : public ByteSink {
public:
    explicit VectorSink(std::vector<std::uint8_t>& out) : out_(out) {}
    void send(const std::uint8_t* data, std::size_t n) override {
        out_.insert(out_.end(), data, data + n);
    }

private:
    std::vector<std::uint8_t>& out_;
};

bool readWholeFile(const std::filesystem::path& p, std::string& out) {
    std::ifstream in(p, std::ios::binary);
    if (!in)
        return false;
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

} // namespace

MemoryCard::MemoryCard(std::filesystem::path folder) : folder_(std::move(folder)) {}

void MemoryCard::addFile(std::string name, std::string content) {
    memoryEntries_.push_back({std::move(name), false, false, std::move(content)});
}

std::vector<MemoryCard::Entry> MemoryCard::entries() const {
    std::vector<Entry> out;
    if (!folder_.empty()) {
        std::error_code ec;
        for (const auto& de : std::filesystem::directory_iterator(folder_, ec)) {
            std::error_code e2;
            const bool dir = de.is_directory(e2);
            if (!dir && !de.is_regular_file(e2))
                continue;
            out.push_back({de.path().filename().string(), dir, true, {}});
        }
        std::sort(out.begin(), out.end(),
                  [](const Entry& a, const Entry& b) { return a.name < b.name; });
    }
    out.insert(out.end(), memoryEntries_.begin(), memoryEntries_.end());
    return out;
}

std::vector<std::string> MemoryCard::names() const {
    std::vector<std::string> out;
    for (const Entry& e : entries())
        out.push_back(e.folder ? e.name + "/" : e.name);
    return out;
}

void MemoryCard::onHostByte(std::uint8_t byte, std::vector<std::uint8_t>& reply) {
    VectorSink sink(reply);
    onHostByte(byte, sink);
}

void MemoryCard::onHostByte(std::uint8_t byte, ByteSink& toHost) {
    if (mode_ == Mode::NameForRead || mode_ == Mode::NameForDelete) {
        if (byte == kNameEnd)
            finishName(toHost);
        else if (name_.size() < kMaxNameBytes)
            name_.push_back(static_cast<char>(byte));
        return;
    }
    if (byte == kEnter) {
        active_ = true;
        mode_ = Mode::Idle;
        pendingBlocks_.clear();
        return;
    }
    if (!active_)
        return;
    if (byte == kLeave) {
        active_ = false;
        mode_ = Mode::Idle;
        pendingBlocks_.clear();
        return;
    }
    if (mode_ == Mode::Stopped)
        return;
    switch (byte) {
    case kList:
        if (faults_.cardMissing) {
            reply(kCardMissing, toHost);
            mode_ = Mode::Idle;
        } else {
            startListing();
            mode_ = Mode::Listing;
        }
        break;
    case kContinue:
        if (mode_ == Mode::Listing && !pendingBlocks_.empty()) {
            const std::vector<std::uint8_t> block = std::move(pendingBlocks_.front());
            pendingBlocks_.pop_front();
            reply(block.data(), block.size(), toHost);
        } else if (mode_ == Mode::ReadAccepted || mode_ == Mode::Reading) {
            if (mode_ == Mode::Reading && readOffset_ >= readData_.size()) {
                reply(kReadFinished, toHost);
                mode_ = Mode::Idle;
            } else {
                sendNextDataBlock(toHost);
            }
        } else {
            const bool listingEnded = mode_ == Mode::Listing;
            mode_ = Mode::Idle; // the Continue after the last listing block ends the listing
            if (listingEnded && faults_.strayWhenIdle) {
                faults_.strayWhenIdle = false;
                const std::uint8_t stray[] = {kDeleteFinished, kReadFinished};
                reply(stray, sizeof stray, toHost);
            }
            if (faults_.readAcceptedUnasked) {
                faults_.readAcceptedUnasked = false;
                readData_ = "0123456789";
                readOffset_ = 0;
                firstBlock_ = true;
                mode_ = Mode::ReadAccepted;
                reply(kReadAccepted, toHost);
            }
        }
        break;
    case kRead:
        mode_ = Mode::NameForRead;
        name_.clear();
        break;
    case kDelete:
        mode_ = Mode::NameForDelete;
        name_.clear();
        break;
    default:
        break;
    }
}

void MemoryCard::startListing() {
    pendingBlocks_.clear();
    const std::size_t blockBytes = std::max(faults_.listingBlockBytes, kBlockBytes);
    std::vector<std::uint8_t> block;
    auto flush = [&] {
        const std::size_t size = std::max(blockBytes, block.size());
        while (block.size() < size) {
            std::uint8_t filler = 0;
            if (faults_.garbageFiller) {
                fillerSeed_ = fillerSeed_ * 1103515245u + 12345u;
                filler = static_cast<std::uint8_t>(fillerSeed_ >> 16);
                if (filler == '>')
                    filler = '<';
            }
            block.push_back(filler);
        }
        pendingBlocks_.push_back(std::move(block));
        block.clear();
    };
    for (const Entry& e : entries()) {
        std::vector<std::uint8_t> item;
        item.push_back('<');
        item.push_back(e.folder ? 'd' : 'f');
        item.insert(item.end(), e.name.begin(), e.name.end());
        item.push_back(0); // trailer
        item.push_back('>');
        if (!block.empty() && block.size() + item.size() > blockBytes)
            flush();
        block.insert(block.end(), item.begin(), item.end());
    }
    if (!block.empty() || pendingBlocks_.empty())
        flush();
}

void MemoryCard::finishName(ByteSink& toHost) {
    const bool read = mode_ == Mode::NameForRead;
    mode_ = Mode::Idle;
    if (faults_.cardMissing) {
        reply(kCardMissing, toHost);
        return;
    }
    const std::vector<Entry> all = entries();
    const auto it = std::find_if(all.begin(), all.end(),
                                 [&](const Entry& e) { return !e.folder && e.name == name_; });
    if (read) {
        bool found = it != all.end();
        if (found && it->onDisk)
            found = readWholeFile(folder_ / it->name, readData_);
        else if (found)
            readData_ = it->content;
        if (!found) {
            reply(kCardMissing, toHost); // the protocol has no other refusal
            return;
        }
        readOffset_ = 0;
        firstBlock_ = true;
        mode_ = Mode::ReadAccepted;
        reply(kReadAccepted, toHost);
        return;
    }
    if (it != all.end()) {
        if (it->onDisk) {
            std::error_code ec;
            std::filesystem::remove(folder_ / it->name, ec); // the name came from the folder itself
        } else {
            const auto m =
                std::find_if(memoryEntries_.begin(), memoryEntries_.end(),
                             [&](const Entry& e) { return !e.folder && e.name == name_; });
            if (m != memoryEntries_.end())
                memoryEntries_.erase(m);
        }
    }
    reply(kDeleteFinished, toHost);
}

void MemoryCard::sendNextDataBlock(ByteSink& toHost) {
    std::vector<std::uint8_t> block(kBlockBytes, 0);
    std::size_t at = 0;
    if (firstBlock_) {
        const auto size = static_cast<std::uint32_t>(readData_.size());
        const std::uint8_t marker = faults_.badFirstBlockMarkers ? 0 : kNameEnd;
        std::fill(block.begin(), block.begin() + 4, marker);
        for (int i = 0; i < 4; ++i)
            block[4 + i] = static_cast<std::uint8_t>(size >> (8 * i));
        std::fill(block.begin() + 8, block.begin() + 12, marker);
        at = kFirstBlockHeader;
        firstBlock_ = false;
    }
    const std::size_t n = std::min(kBlockBytes - at, readData_.size() - readOffset_);
    std::copy_n(readData_.begin() + static_cast<std::ptrdiff_t>(readOffset_), n,
                block.begin() + at);
    readOffset_ += n;
    mode_ = Mode::Reading;
    ++dataBlocksSent_;
    if (faults_.stallInBlock != 0 && dataBlocksSent_ == faults_.stallInBlock) {
        faults_.stallInBlock = 0;
        reply(block.data(), block.size() / 2, toHost);
        mode_ = Mode::Idle;
        return;
    }
    const auto middle = block.begin() + static_cast<std::ptrdiff_t>(block.size() / 2);
    if (faults_.dropByteInBlock) {
        faults_.dropByteInBlock = false;
        block.erase(middle);
    } else if (faults_.extraByteInBlock) {
        faults_.extraByteInBlock = false;
        block.insert(middle, 0x5C);
    }
    reply(block.data(), block.size(), toHost);
    if (faults_.stopAfterDataBlocks != 0 && dataBlocksSent_ >= faults_.stopAfterDataBlocks)
        mode_ = Mode::Stopped;
}

void MemoryCard::reply(std::uint8_t byte, ByteSink& toHost) {
    if (faults_.strayBeforeReply >= 0 && faults_.strayBeforeReply <= 0xFF) {
        const auto stray = static_cast<std::uint8_t>(faults_.strayBeforeReply);
        toHost.send(&stray, 1);
    }
    reply(&byte, 1, toHost);
}

void MemoryCard::reply(const std::uint8_t* data, std::size_t n, ByteSink& toHost) {
    const std::size_t chunk = faults_.chunkBytes == 0 ? n : faults_.chunkBytes;
    for (std::size_t off = 0; off < n; off += chunk)
        toHost.send(data + off, std::min(chunk, n - off));
}

} // namespace velkard::sim
