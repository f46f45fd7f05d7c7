#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/station-sim/sim_wire.h"

namespace {

constexpr uint64_t kMs = 1000000;

ReplyPlan Answer(const std::string& bytes, uint32_t delayMs = 0, uint32_t splitMs = 0) {
    ReplyPlan plan;
    plan.answered = true;
    plan.bytes = bytes;
    plan.delayMs = delayMs;
    plan.splitMs = splitMs;
    return plan;
}

std::vector<OutChunk> Drain(Wire& wire) { return {wire.out.begin(), wire.out.end()}; }

TEST(Wire, WireTimeAt115200Baud) {
    EXPECT_EQ(86805u, WireTimeNs(1));
    EXPECT_EQ(21180555u, WireTimeNs(244)); // a DUB line
}

TEST(Wire, WithoutLineRateEverythingMovesAtOnce) {
    Wire wire;
    EXPECT_EQ(5 * kMs, BeginReceive(wire, 5 * kMs, 244));
    EXPECT_EQ(5 * kMs, ArrivalNs(wire, 5 * kMs, 244));
    EXPECT_EQ(5 * kMs, ScheduleReply(wire, Answer("OK\r\n"), 5 * kMs));
    EXPECT_EQ("OK\r\n", TakeDue(wire, 5 * kMs));
    EXPECT_EQ(std::nullopt, NextDueNs(wire));
}

TEST(Wire, DelayAndSplitAreScheduled) {
    Wire wire;
    EXPECT_EQ(350 * kMs, ScheduleReply(wire, Answer("NEXT\r\n", 100, 50), 200 * kMs));
    const auto chunks = Drain(wire);
    ASSERT_EQ(2u, chunks.size());
    EXPECT_EQ(300 * kMs, chunks[0].dueNs);
    EXPECT_EQ("NE", chunks[0].bytes);
    EXPECT_EQ(350 * kMs, chunks[1].dueNs);
    EXPECT_EQ("XT\r\n", chunks[1].bytes);
    EXPECT_EQ("", TakeDue(wire, 299 * kMs));
    EXPECT_EQ("NE", TakeDue(wire, 300 * kMs));
    EXPECT_EQ(std::optional<uint64_t>(350 * kMs), NextDueNs(wire));
}

TEST(Wire, SplitOfATwoLetterReply) {
    Wire wire;
    ScheduleReply(wire, Answer("OK\r\n", 0, 10), 0);
    const auto chunks = Drain(wire);
    ASSERT_EQ(2u, chunks.size());
    EXPECT_EQ("O", chunks[0].bytes);
    EXPECT_EQ("K\r\n", chunks[1].bytes);
}

TEST(Wire, UnansweredCommandQueuesNothing) {
    Wire wire;
    EXPECT_EQ(7u, ScheduleReply(wire, ReplyPlan{}, 7));
    EXPECT_TRUE(wire.out.empty());
}

TEST(Wire, LineRatePacesBothDirections) {
    Wire wire;
    wire.lineRate = true;
    // A DUB line read in one piece at 10 ms has fully arrived one wire time later.
    const uint64_t start = BeginReceive(wire, 10 * kMs, 244);
    EXPECT_EQ(10 * kMs, start);
    EXPECT_EQ(10 * kMs + WireTimeNs(244), ArrivalNs(wire, start, 244));
    // A second chunk read before the line was idle queues behind the first.
    EXPECT_EQ(10 * kMs + WireTimeNs(244), BeginReceive(wire, 11 * kMs, 4));

    const uint64_t done = ScheduleReply(wire, Answer("NEXT\r\n"), 40 * kMs);
    EXPECT_EQ(40 * kMs + WireTimeNs(6), done);
    const auto chunks = Drain(wire);
    ASSERT_EQ(6u, chunks.size());
    for (size_t i = 0; i < chunks.size(); ++i) EXPECT_EQ(40 * kMs + WireTimeNs(i + 1), chunks[i].dueNs) << i;
    // The next reply waits for the line even when planned earlier.
    EXPECT_EQ(done + WireTimeNs(4), ScheduleReply(wire, Answer("OK\r\n"), 40 * kMs));
    ResetWire(wire);
    EXPECT_TRUE(wire.out.empty());
    EXPECT_EQ(0u, wire.txFreeNs);
}

} // namespace
