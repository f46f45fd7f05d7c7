#pragma once
// A data station with the instrument on it, as a Responder for ScriptedSerial. Every mnemonic has
// a standing reply; replies queued for a mnemonic are used first, one per command. DUB answers
// NEXT, and OK to the block that completes the count announced by DUSIZE. Thread-safe: the test
// may change replies while a worker talks to the station.

#include <deque>
#include <map>
#include <mutex>
#include <string>

#include "tests/support/scripted_serial.h"

class StationScript {
public:
    // BGV "ZDS-2 1.0", BIC "1", GV "1.2.3", GB "3.95", DUSTART, DUSIZE, DUSUMM, DRST and BB "OK".
    StationScript();

    // The standing reply to a mnemonic ("GV", "DUB", ...); for DUB it replaces the NEXT/OK rule.
    void Set(const std::string& mnemonic, Reply reply);
    // A one-off reply, used before the standing one; several queue up in order.
    void Queue(const std::string& mnemonic, Reply reply);

    Reply Answer(const std::string& command);
    // A responder bound to this script, which must outlive it.
    Responder AsResponder();

private:
    Reply BlockReply(); // under mutex_

    std::mutex mutex_;
    std::map<std::string, Reply> standing_;
    std::map<std::string, std::deque<Reply>> queued_;
    bool dubStanding_ = false;
    uint64_t announcedBlocks_ = 0;
    uint64_t blocksSeen_ = 0;
};
