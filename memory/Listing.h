// SPDX-License-Identifier: GPL-3.0-or-later
// Parsing of the instrument's listing blocks and checks on the names it sends.
//
// Pure functions without I/O, so they can be fuzzed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velkard::memory {

// The worker's name buffer holds 270 bytes with the terminating zero: a file name may have 269
// bytes, a folder name 268 (it also needs room for "/"). Longer names are refused, never cut.
inline constexpr std::size_t kNameBufferBytes = 270;
inline constexpr std::size_t kMaxFileName = kNameBufferBytes - 1;
inline constexpr std::size_t kMaxFolderName = kNameBufferBytes - 2;

// A parsed listing: it never fails; names that cannot be used are counted, not kept.
struct Listing {
    std::vector<std::string> entries; // file names as sent; folder names followed by "/"
    std::size_t refusedTooLong = 0;   // entries whose name does not fit the name buffer
    std::size_t refusedEmpty = 0;     // entries too short to hold a name ("<>", "<d>", "<dx>")
};

// Incremental parser, so a reply larger than the receive buffer can be fed in pieces: an entry
// begins at "<" and ends at the next ">"; the byte after "<" is the type ("d" for a folder), the
// byte before ">" is a trailer that is not part of the name. Bytes after the last ">" (filler) are
// dropped by finish().
class ListingParser {
public:
    void feed(const std::uint8_t* data, std::size_t n);
    // Ends the reply: drops an unfinished entry and returns what was found.
    Listing finish();

private:
    void endEntry();

    Listing result_;
    bool inEntry_ = false;
    bool tooLong_ = false;
    std::string body_; // bytes after "<" so far (type, name, trailer), at most the limit + 2
};

// Parses one whole listing block.
Listing parseListing(const std::uint8_t* data, std::size_t n);

inline bool isFolderEntry(std::string_view text) {
    return !text.empty() && text.back() == '/';
}

enum class NameProblem {
    None,
    Empty,
    TooLong,
    Separator,   // '/' or '\\': would name a path outside the download folder
    DotName,     // "." or ".."
    ControlByte, // NUL, a byte below 0x20 or 0x7F
    Terminator,  // '|' cannot be sent inside a name: it ends the name
};

// Whether the text of a file entry may be sent to the instrument in Read file / Delete file.
NameProblem checkRequestName(std::string_view name);
// Whether a downloaded file may be written as "temp/" + name: the request checks and no path
// separators or dot names, so the file always lands directly inside the download folder.
NameProblem checkDownloadName(std::string_view name);

// The name for messages: Windows-1251 shown as UTF-8, control bytes and backslashes as \xNN.
std::string printableName(std::string_view name);

} // namespace velkard::memory
