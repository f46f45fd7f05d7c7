#include "tests/support/station_script.h"

#include <cstdlib>

StationScript::StationScript()
    : standing_{{"BGV", Line("ZDS-2 1.0")}, {"BIC", Line("1")},   {"GV", Line("1.2.3")},   {"GB", Line("3.95")},
                {"DUSTART", Line("OK")},    {"DUSIZE", Line("OK")}, {"DUSUMM", Line("OK")}, {"DRST", Line("OK")},
                {"BB", Line("OK")}} {}

void StationScript::Set(const std::string& mnemonic, Reply reply) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (mnemonic == "DUB") dubStanding_ = true;
    standing_[mnemonic] = std::move(reply);
}

void StationScript::Queue(const std::string& mnemonic, Reply reply) {
    std::lock_guard<std::mutex> lock(mutex_);
    queued_[mnemonic].push_back(std::move(reply));
}

Reply StationScript::BlockReply() {
    ++blocksSeen_;
    return Line(blocksSeen_ == announcedBlocks_ ? "OK" : "NEXT");
}

Reply StationScript::Answer(const std::string& command) {
    std::lock_guard<std::mutex> lock(mutex_);
    const std::string mnemonic = Mnemonic(command);
    if (mnemonic == "DUSIZE") {
        announcedBlocks_ = std::strtoull(command.c_str() + mnemonic.size(), nullptr, 10);
        blocksSeen_ = 0;
    }
    auto queued = queued_.find(mnemonic);
    if (queued != queued_.end() && !queued->second.empty()) {
        Reply reply = std::move(queued->second.front());
        queued->second.pop_front();
        if (mnemonic == "DUB") ++blocksSeen_;
        return reply;
    }
    if (mnemonic == "DUB" && !dubStanding_) return BlockReply();
    const auto standing = standing_.find(mnemonic);
    return standing == standing_.end() ? Silence() : standing->second;
}

Responder StationScript::AsResponder() {
    return [this](const std::string& command) { return Answer(command); };
}
