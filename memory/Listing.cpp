// SPDX-License-Identifier: GPL-3.0-or-later
#include "memory/Listing.h"

#include "signal/Cp1251.h"

#include <cstdio>

namespace velkard::memory {

void ListingParser::feed(const std::uint8_t* data, std::size_t n) {
    // The body holds type, name and trailer; anything longer than the longest acceptable name plus
    // those two bytes is refused, so the body never needs to grow beyond that.
    constexpr std::size_t kBodyLimit = kMaxFileName + 2;
    for (std::size_t i = 0; i < n; ++i) {
        const char c = static_cast<char>(data[i]);
        if (!inEntry_) {
            if (c == '<') {
                inEntry_ = true;
                tooLong_ = false;
                body_.clear();
            }
            continue;
        }
        if (c == '>') {
            endEntry();
            inEntry_ = false;
            continue;
        }
        if (body_.size() < kBodyLimit)
            body_.push_back(c);
        else
            tooLong_ = true;
    }
}

void ListingParser::endEntry() {
    if (tooLong_) {
        ++result_.refusedTooLong;
        return;
    }
    if (body_.size() < 3) { // no room for a name between type and trailer
        ++result_.refusedEmpty;
        return;
    }
    const bool folder = body_.front() == 'd';
    std::string name = body_.substr(1, body_.size() - 2);
    if (name.size() > (folder ? kMaxFolderName : kMaxFileName)) {
        ++result_.refusedTooLong;
        return;
    }
    if (folder)
        name.push_back('/');
    result_.entries.push_back(std::move(name));
}

Listing ListingParser::finish() {
    inEntry_ = false;
    body_.clear();
    Listing r = std::move(result_);
    result_ = {};
    return r;
}

Listing parseListing(const std::uint8_t* data, std::size_t n) {
    ListingParser p;
    p.feed(data, n);
    return p.finish();
}

NameProblem checkRequestName(std::string_view name) {
    if (name.empty())
        return NameProblem::Empty;
    if (name.size() > kMaxFileName)
        return NameProblem::TooLong;
    for (char ch : name) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c == 0x7F)
            return NameProblem::ControlByte;
        if (c == 0x7C)
            return NameProblem::Terminator;
    }
    return NameProblem::None;
}

NameProblem checkDownloadName(std::string_view name) {
    const NameProblem p = checkRequestName(name);
    if (p != NameProblem::None)
        return p;
    if (name == "." || name == "..")
        return NameProblem::DotName;
    if (name.find('/') != std::string_view::npos || name.find('\\') != std::string_view::npos)
        return NameProblem::Separator;
    return NameProblem::None;
}

std::string printableName(std::string_view name) {
    std::string out;
    for (char ch : name) {
        const auto c = static_cast<unsigned char>(ch);
        if (c >= 0x20 && c != 0x7F && c != '\\') {
            out.push_back(ch);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    return signal::cp1251ToUtf8(out);
}

} // namespace velkard::memory
