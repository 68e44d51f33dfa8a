// SPDX-License-Identifier: GPL-3.0-or-later
// Read-only file views and the piecewise crash-safe writer.
#include "signal/FileIo.h"
#include "signal/Recording.h"

#include "signal/tests/TestFiles.h"

#include <gtest/gtest.h>

#include <sys/vfs.h>

namespace velkard::signal {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::readBytes;
using test::ScratchDir;
using test::writeBytes;

Bytes randomBytes(std::size_t n, std::uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes b(n);
    for (auto& x : b)
        x = static_cast<std::uint8_t>(rng());
    return b;
}

bool onLocalDisk(const std::filesystem::path& p) {
    struct statfs fs {};
    if (::statfs(p.c_str(), &fs) != 0)
        return false;
    const auto type = static_cast<unsigned long>(fs.f_type);
    return type == 0xEF53 || type == 0x01021994 || type == 0x58465342 || type == 0x9123683E ||
           type == 0x794C7630;
}

TEST(FileBytes, MappedViewKeepsItsContentWhenTheFileIsReplaced) {
    ScratchDir dir;
    const Bytes first = randomBytes(300000, 1);
    writeBytes(dir / "r.dat", first);
    FileBytesResult view = mapWholeFile(dir / "r.dat");
    ASSERT_TRUE(view.ok()) << view.message;
    if (onLocalDisk(dir.path())) {
        EXPECT_TRUE(view.value.mapped());
    }
    EXPECT_EQ(view.value, first);

    // The program replaces files through a rename: a view opened before keeps the old bytes, and
    // a copy outlives the original.
    ASSERT_TRUE(writeFileAtomically(dir / "r.dat", randomBytes(1000, 2)).ok());
    FileBytes copy = view.value;
    view = FileBytesResult{};
    EXPECT_EQ(copy, first);
    EXPECT_EQ(copy.toVector(), first);
    EXPECT_EQ(mapWholeFile(dir / "r.dat").value, randomBytes(1000, 2));
}

TEST(FileBytes, EmptyMissingFolderAndTooLarge) {
    ScratchDir dir;
    writeBytes(dir / "empty.dat", {});
    FileBytesResult r = mapWholeFile(dir / "empty.dat");
    ASSERT_TRUE(r.ok());
    EXPECT_TRUE(r.value.empty());
    EXPECT_EQ(r.value.begin(), r.value.end());

    r = mapWholeFile(dir / "absent.dat");
    EXPECT_FALSE(r.ok());
    EXPECT_NE(r.message.find("absent.dat"), std::string::npos);
    EXPECT_FALSE(mapWholeFile(dir.path()).ok());
    writeBytes(dir / "ten.dat", Bytes(10, 3));
    EXPECT_FALSE(mapWholeFile(dir / "ten.dat", 9).ok());
    EXPECT_TRUE(mapWholeFile(dir / "ten.dat", 10).ok());
}

TEST(LoadRecording, HourLongFileIsViewedNotCopied) {
    ScratchDir dir;
    const Bytes bytes = randomBytes(std::size_t{3600} * 800 * 16 + 1, 3); // and an odd byte
    writeBytes(dir / "hour.dat", bytes);
    RecordingBuffer buf;
    ASSERT_TRUE(loadRecording(dir / "hour.dat", buf).ok());
    if (onLocalDisk(dir.path())) {
        EXPECT_TRUE(buf.bytes.mapped());
    }
    EXPECT_EQ(buf.length, 3600u * 800 * 16);
    EXPECT_EQ(buf.records(), 3600u * 800);
    EXPECT_TRUE(std::equal(buf.bytes.begin(), buf.bytes.end(), bytes.begin()));
    EXPECT_EQ(buf.record(buf.records() - 1).c[7], readLe16(bytes.data() + bytes.size() - 3));
}

TEST(AtomicFileWriter, PiecesAppearOnlyOnCommit) {
    ScratchDir dir;
    writeBytes(dir / "out.bin", {9});
    {
        AtomicFileWriter writer(dir / "out.bin");
        ASSERT_TRUE(writer.open().ok());
        const Bytes piece = randomBytes(5000, 4);
        ASSERT_TRUE(writer.write(piece.data(), piece.size()).ok());
        EXPECT_EQ(dir.entries().size(), 2u); // the destination and a hidden temporary file
        EXPECT_EQ(readBytes(dir / "out.bin"), Bytes{9});
    } // abandoned
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"out.bin"});
    EXPECT_EQ(readBytes(dir / "out.bin"), Bytes{9});

    AtomicFileWriter writer(dir / "out.bin");
    ASSERT_TRUE(writer.open().ok());
    Bytes whole;
    for (std::uint32_t i = 0; i < 5; ++i) {
        const Bytes piece = randomBytes(1000 * i, i);
        ASSERT_TRUE(writer.write(piece.data(), piece.size()).ok());
        whole.insert(whole.end(), piece.begin(), piece.end());
    }
    ASSERT_TRUE(writer.commit().ok());
    EXPECT_EQ(readBytes(dir / "out.bin"), whole);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"out.bin"});

    AtomicFileWriter nowhere(dir / "missing" / "x.bin");
    Status st = nowhere.open();
    EXPECT_FALSE(st.ok());
    EXPECT_NE(st.message.find("x.bin"), std::string::npos);
}

} // namespace
} // namespace velkard::signal
