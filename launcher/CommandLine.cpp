// SPDX-License-Identifier: GPL-3.0-or-later
#include "launcher/CommandLine.h"

#include <climits>

namespace startel {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view skipBlanks(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && isBlank(text[i]))
        ++i;
    return text.substr(i);
}

std::string joinArguments(int argc, const char* const* argv) {
    std::string text;
    for (int i = 1; i < argc; ++i) {
        if (i > 1)
            text += ' ';
        text += argv[i];
    }
    return text;
}

namespace {

// A bracketed part must open right where it is expected; otherwise a target that merely
// contains a closing bracket (an IPv6 address, say) would be cut apart.
bool takeBracketed(std::string_view text, std::size_t& pos, std::string_view& part) {
    if (pos >= text.size() || text[pos] != '[')
        return false;
    const std::size_t close = text.find(']', pos + 1);
    if (close == std::string_view::npos)
        return false;
    part = text.substr(pos + 1, close - pos - 1);
    pos = close + 1;
    return true;
}

} // namespace

CommandLine parseCommandLine(std::string_view argumentText) {
    const std::string_view text = skipBlanks(argumentText);
    CommandLine result;
    std::size_t pos = 0;
    std::string_view part;
    if (takeBracketed(text, pos, part))
        result.key = std::string(part);
    if (takeBracketed(text, pos, part))
        result.mode = parseMode(part);
    result.target = std::string(skipBlanks(text.substr(pos)));
    return result;
}

int parseMode(std::string_view text) {
    text = skipBlanks(text);
    bool negative = false;
    if (!text.empty() && text.front() == '-') {
        negative = true;
        text.remove_prefix(1);
    }
    long long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            break;
        value = value * 10 + (c - '0');
        if (value > INT_MAX)
            return negative ? INT_MIN : INT_MAX; // out of range: no mode of the table
    }
    return static_cast<int>(negative ? -value : value);
}

bool isWebAddress(std::string_view target) {
    target = skipBlanks(target);
    static constexpr std::string_view http = "http";
    if (target.size() < http.size())
        return false;
    for (std::size_t i = 0; i < http.size(); ++i) {
        char c = target[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != http[i])
            return false;
    }
    return true;
}

std::vector<std::string> splitParameters(std::string_view parameters) {
    std::vector<std::string> args;
    std::size_t i = 0;
    const std::size_t n = parameters.size();
    while (true) {
        while (i < n && isBlank(parameters[i]))
            ++i;
        if (i >= n)
            break;
        std::string arg;
        bool quoted = false;
        while (i < n && (quoted || !isBlank(parameters[i]))) {
            const char c = parameters[i];
            if (c == '\\') {
                std::size_t slashes = 0;
                while (i < n && parameters[i] == '\\') {
                    ++slashes;
                    ++i;
                }
                if (i < n && parameters[i] == '"') {
                    arg.append(slashes / 2, '\\');
                    if (slashes % 2 == 1) {
                        arg += '"';
                        ++i;
                    }
                } else {
                    arg.append(slashes, '\\');
                }
            } else if (c == '"') {
                // Inside quotes, a doubled quote stands for one literal quote.
                if (quoted && i + 1 < n && parameters[i + 1] == '"') {
                    arg += '"';
                    i += 2;
                } else {
                    quoted = !quoted;
                    ++i;
                }
            } else {
                arg += c;
                ++i;
            }
        }
        args.push_back(std::move(arg));
    }
    return args;
}

} // namespace startel
