#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/station-sim/sim_control.h"
#include "tools/station-sim/sim_text.h"

namespace {

TEST(ControlCommands, Parse) {
    const struct {
        const char* line;
        ControlKind kind;
        uint32_t millivolts;
        const char* text;
    } cases[] = {
        {"place", ControlKind::Place, 0, ""},
        {"  lift \r", ControlKind::Lift, 0, ""},
        {"unplug", ControlKind::Unplug, 0, ""},
        {"plug", ControlKind::Plug, 0, ""},
        {"set battery 3700", ControlKind::SetBattery, 3700, ""},
        {"set  battery   0", ControlKind::SetBattery, 0, ""},
        {"set version 1.2.0 beta", ControlKind::SetVersion, 0, "1.2.0 beta"},
        {"status", ControlKind::Status, 0, ""},
        {"help", ControlKind::Help, 0, ""},
        {"quit", ControlKind::Quit, 0, ""},
        {"", ControlKind::None, 0, ""},
        {"   ", ControlKind::None, 0, ""},
        {"# a comment", ControlKind::None, 0, ""},
        {"PLACE", ControlKind::Invalid, 0, "unknown command 'PLACE' (try 'help')"},
        {"lift now", ControlKind::Invalid, 0, "'lift' takes no argument"},
        {"set battery", ControlKind::Invalid, 0, "set battery needs millivolts (0 to 99999), got ''"},
        {"set battery 3.9", ControlKind::Invalid, 0, "set battery needs millivolts (0 to 99999), got '3.9'"},
        {"set battery 100000", ControlKind::Invalid, 0, "set battery needs millivolts (0 to 99999), got '100000'"},
        {"set version", ControlKind::Invalid, 0, "set version needs a version text"},
        {"set version a\x01", ControlKind::Invalid, 0, "set version: control characters are not allowed"},
        {"set colour red", ControlKind::Invalid, 0, "unknown command 'set colour red' (set battery <mV>, set version <text>)"},
    };
    for (const auto& c : cases) {
        const ControlCommand command = ParseControl(c.line);
        EXPECT_EQ(c.kind, command.kind) << c.line;
        EXPECT_EQ(c.millivolts, command.millivolts) << c.line;
        EXPECT_EQ(c.text, command.text) << c.line;
    }
}

TEST(Text, EscapeAndUnescape) {
    const std::string bytes("a\\b\r\n\t\x00\x7f\xff~", 10);
    EXPECT_EQ("a\\\\b\\r\\n\\t\\x00\\x7f\\xff~", EscapeBytes(bytes));
    EXPECT_EQ(bytes, UnescapeText(EscapeBytes(bytes)).value_or("?"));
    EXPECT_EQ("\xAB", UnescapeText("\\xAb").value_or("?"));
    for (const char* broken : {"\\", "\\x", "\\x4", "\\xg0", "\\a"}) EXPECT_EQ(std::nullopt, UnescapeText(broken)) << broken;
}

TEST(Text, ParseDecimal) {
    const struct {
        const char* text;
        uint64_t max;
        std::optional<uint64_t> expected;
    } cases[] = {
        {"0", 10, 0},           {"7", 10, 7},   {"10", 10, 10}, {"11", 10, std::nullopt}, {"", 10, std::nullopt},
        {"01", 10, std::nullopt}, {"+1", 10, std::nullopt}, {"1 ", 10, std::nullopt}, {"5", 0, std::nullopt},
        {"4294967295", 4294967295u, 4294967295u}, {"4294967296", 4294967295u, std::nullopt},
        {"18446744073709551615", UINT64_MAX, UINT64_MAX}, {"18446744073709551616", UINT64_MAX, std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(c.expected, ParseDecimal(c.text, c.max)) << c.text;
}

TEST(Text, AbbreviateKeepsHeadAndTail) {
    EXPECT_EQ("short", Abbreviate("short", 2, 2));
    EXPECT_EQ("0123...89 [10 chars]", Abbreviate("0123456789", 4, 2));
}

TEST(LineSplitter, LinesAcrossChunksWithTheirEnds) {
    LineSplitter splitter;
    EXPECT_TRUE(FeedLines(splitter, "BG", 2).empty());
    const auto lines = FeedLines(splitter, "V\nGB\n\nDU", 8);
    ASSERT_EQ(3u, lines.size());
    EXPECT_EQ("BGV", lines[0].text);
    EXPECT_EQ(2u, lines[0].end);
    EXPECT_EQ("GB", lines[1].text);
    EXPECT_EQ(5u, lines[1].end);
    EXPECT_EQ("", lines[2].text);
    EXPECT_EQ("DU", splitter.partial);
}

TEST(LineSplitter, OverlongLineKeepsOneByteBeyondTheLimit) {
    LineSplitter splitter;
    splitter.limit = 4;
    const auto lines = FeedLines(splitter, "abcdefgh\nok\n", 12);
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ("abcde", lines[0].text);
    EXPECT_EQ("ok", lines[1].text);
}

} // namespace
