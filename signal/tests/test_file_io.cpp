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
    ASSERT_TRUE(writeFileAtomically(dir / "f.bin", first).ok());
    ASSERT_TRUE(writeFileAtomically(dir / "f.bin", second).ok());
    BytesResult r = readWholeFile(dir / "f.bin");
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.value, second);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"f.bin"});
}

TEST(FileIo, ReadFailuresNameTheFileAndSayWhy) {
    ScratchDir dir;
    BytesResult r = readWholeFile(dir / "absent.bin");
    EXPECT_EQ(r.code, ErrorCode::CannotOpen);
    EXPECT_NE(r.message.find("absent.bin"), std::string::npos);
    r = readWholeFile(dir.path());
    EXPECT_EQ(r.code, ErrorCode::NotRegularFile); // a folder is not a file
    test::writeBytes(dir / "big.bin", std::vector<std::uint8_t>(10, 0));
    r = readWholeFile(dir / "big.bin", 9);
    EXPECT_EQ(r.code, ErrorCode::TooLarge);
    EXPECT_TRUE(r.value.empty());
    EXPECT_EQ(writeFileAtomically(dir / "absent" / "f.bin", {1}).code, ErrorCode::CannotWrite);
}

TEST(Status, AFailureIsPassedOnUnchangedAndNeverReadsAsSuccess) {
    ScratchDir dir;
    const BytesResult read = readWholeFile(dir / "absent.bin");
    const Result<int> passed = Result<int>::failure(read);
    EXPECT_FALSE(passed);
    EXPECT_EQ(passed.code, ErrorCode::CannotOpen);
    EXPECT_EQ(passed.message, read.message);
    const Status asStatus = passed;
    EXPECT_EQ(asStatus.code, ErrorCode::CannotOpen);
    EXPECT_EQ(asStatus.message, read.message);
    // A failure made without a code still is one.
    EXPECT_FALSE(Status::failure(ErrorCode::None, "lost"));
    EXPECT_FALSE(Result<int>::failure(Status::success()));
}

} // namespace
} // namespace velkard::signal
