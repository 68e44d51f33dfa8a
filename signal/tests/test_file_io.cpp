// SPDX-License-Identifier: GPL-3.0-or-later
#include "signal/FileIo.h"

#include "signal/tests/TestFiles.h"

#include <gtest/gtest.h>

namespace velkard::signal {
namespace {

using test::ScratchDir;

TEST(FileIo, AtomicWriteReplacesAndReadsBack) {
    ScratchDir dir;
    std::vector<std::uint8_t> first(100000, 0xAB), second = {1, 2, 3};
    ASSERT_TRUE(writeFileAtomically(dir / "f.bin", first).ok);
    ASSERT_TRUE(writeFileAtomically(dir / "f.bin", second).ok);
    BytesResult r = readWholeFile(dir / "f.bin");
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.bytes, second);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"f.bin"});
}

TEST(FileIo, ReadFailuresNameTheFile) {
    ScratchDir dir;
    BytesResult r = readWholeFile(dir / "absent.bin");
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.message.find("absent.bin"), std::string::npos);
    r = readWholeFile(dir.path());
    EXPECT_FALSE(r.ok); // a folder is not a file
    test::writeBytes(dir / "big.bin", std::vector<std::uint8_t>(10, 0));
    r = readWholeFile(dir / "big.bin", 9);
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.bytes.empty());
}

} // namespace
} // namespace velkard::signal
