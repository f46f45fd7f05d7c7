#pragma once
// Text helpers of the simulator: bytes shown safely in the transcript and on stdout, escapes in
// option texts, and a line splitter shared by the port and the control inputs.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Printable ASCII stays; backslash, CR, LF, tab and every other byte become \\, \r, \n, \t, \xHH.
std::string EscapeBytes(const std::string& bytes);

// Undoes the escapes \\, \r, \n, \t and \xHH (two hex digits); nullopt on a broken escape.
std::optional<std::string> UnescapeText(const std::string& text);

// A long line cut to its head and tail: "DUB0011...eeff [244 chars]".
std::string Abbreviate(const std::string& line, size_t keepHead, size_t keepTail);

// Decimal without sign, separators or leading zeros ("0" itself is fine), at most `max`.
std::optional<uint64_t> ParseDecimal(const std::string& text, uint64_t max);

struct SplitLine {
    std::string text; // without its line feed; longer than the limit when the sender overran it
    size_t end = 0;   // offset just past the line feed in the chunk that completed the line
};

struct LineSplitter {
    size_t limit = 1024; // bytes kept per line; one more byte is kept to mark an overlong line
    std::string partial;
};

// Feeds a chunk and returns the lines it completed, in order.
std::vector<SplitLine> FeedLines(LineSplitter& splitter, const char* data, size_t size);
