#pragma once
// The serial line between the PC and the station: when received bytes count as arrived and when
// each reply byte goes out. With line-rate emulation every byte takes its wire time at 115200
// baud, 8N1 (10 bits, about 86.8 us), in each direction; without it bytes move at once.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>

#include "tools/station-sim/sim_engine.h"

constexpr uint64_t kLineBaud = 115200;
constexpr uint64_t kBitsPerByte = 10;

// Wire time of `bytes` bytes at the emulated rate, in nanoseconds.
constexpr uint64_t WireTimeNs(uint64_t bytes) { return bytes * kBitsPerByte * 1000000000ull / kLineBaud; }

struct OutChunk {
    uint64_t dueNs = 0; // not written before this time
    std::string bytes;
};

struct Wire {
    bool lineRate = false;
    uint64_t rxFreeNs = 0; // the receive line is idle from this time on
    uint64_t txFreeNs = 0; // the last queued reply byte has left by this time
    std::deque<OutChunk> out;
};

// A chunk of `size` bytes was read at nowNs: returns when its first byte started to arrive.
uint64_t BeginReceive(Wire& wire, uint64_t nowNs, size_t size);
// When the first `bytes` bytes of a chunk that began at startNs have fully arrived.
uint64_t ArrivalNs(const Wire& wire, uint64_t startNs, size_t bytes);

// Queues a reply planned at nowNs; returns when its last byte has left (the station is busy till then).
uint64_t ScheduleReply(Wire& wire, const ReplyPlan& plan, uint64_t nowNs);
// Removes and returns the bytes due by nowNs.
std::string TakeDue(Wire& wire, uint64_t nowNs);
std::optional<uint64_t> NextDueNs(const Wire& wire);
// The cable is pulled: nothing queued goes out, both directions are idle.
void ResetWire(Wire& wire);
