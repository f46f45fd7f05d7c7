#include "tools/station-sim/sim_wire.h"

#include <algorithm>

namespace {

// Queues bytes that may start at startNs; returns when the last of them has left.
uint64_t QueueBytes(Wire& wire, const std::string& bytes, uint64_t startNs) {
    if (!wire.lineRate) {
        wire.out.push_back({.dueNs = startNs, .bytes = bytes});
        return startNs;
    }
    // One entry per byte, each due when it has crossed the line after the one before.
    const uint64_t begin = std::max(startNs, wire.txFreeNs);
    for (size_t i = 0; i < bytes.size(); ++i)
        wire.out.push_back({.dueNs = begin + WireTimeNs(i + 1), .bytes = bytes.substr(i, 1)});
    wire.txFreeNs = begin + WireTimeNs(bytes.size());
    return wire.txFreeNs;
}

} // namespace

uint64_t BeginReceive(Wire& wire, uint64_t nowNs, size_t size) {
    if (!wire.lineRate) return nowNs;
    // The bytes were on the line before we saw them; the earliest credible start is the line's idle time.
    const uint64_t start = std::max(wire.rxFreeNs, nowNs);
    wire.rxFreeNs = start + WireTimeNs(size);
    return start;
}

uint64_t ArrivalNs(const Wire& wire, uint64_t startNs, size_t bytes) {
    return wire.lineRate ? startNs + WireTimeNs(bytes) : startNs;
}

uint64_t ScheduleReply(Wire& wire, const ReplyPlan& plan, uint64_t nowNs) {
    if (!plan.answered || plan.bytes.empty()) return nowNs;
    const uint64_t start = nowNs + plan.delayMs * 1000000ull;
    if (plan.splitMs == 0 || plan.bytes.size() < 2) return QueueBytes(wire, plan.bytes, start);
    // The first half of the text, then the rest with the line end after the pause.
    const size_t textSize = plan.bytes.size() >= 2 && plan.bytes.compare(plan.bytes.size() - 2, 2, "\r\n") == 0
                                ? plan.bytes.size() - 2
                                : plan.bytes.size();
    const size_t cut = std::max<size_t>(1, textSize / 2);
    const uint64_t firstDone = QueueBytes(wire, plan.bytes.substr(0, cut), start);
    return QueueBytes(wire, plan.bytes.substr(cut), firstDone + plan.splitMs * 1000000ull);
}

std::string TakeDue(Wire& wire, uint64_t nowNs) {
    std::string due;
    while (!wire.out.empty() && wire.out.front().dueNs <= nowNs) {
        due += wire.out.front().bytes;
        wire.out.pop_front();
    }
    return due;
}

std::optional<uint64_t> NextDueNs(const Wire& wire) {
    if (wire.out.empty()) return std::nullopt;
    return wire.out.front().dueNs;
}

void ResetWire(Wire& wire) {
    wire.out.clear();
    wire.rxFreeNs = 0;
    wire.txFreeNs = 0;
}
