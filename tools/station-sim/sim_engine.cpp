#include "tools/station-sim/sim_engine.h"

#include <algorithm>

#include "firmware/firmware_image.h"
#include "tools/station-sim/sim_text.h"

namespace {

constexpr size_t kBlockHexDigits = 2 * FirmwareBlockSize;

// Line noise for --garbage: NUL, high-bit and control bytes, no CR or LF, no letters of ERR/FAIL.
constexpr char kGarbage[] = "\x00\xff\x13\xfe\x80\x1b[\x7f\xaa\x55\x00\x91\xe4\x02\xfd\x9c";

using Handler = std::string (*)(SimStation&, const std::string& argument, uint64_t nowMs, Exchange&);

struct CommandEntry {
    const char* name;
    bool takesArgument = false; // DUSIZE7: the argument follows the mnemonic directly
    bool forInstrument = false; // relayed to the instrument, so unanswered while it is not there
    Handler handle;
};

std::string Refuse(Exchange& exchange, const char* reply, const std::string& why) {
    exchange.events.push_back("error " + why);
    return reply;
}

std::string BlockPosition(const UpdateSession& update, uint64_t number) {
    return std::to_string(number) + "/" + (update.blockCount ? std::to_string(*update.blockCount) : std::string("?"));
}

void AbortUpdate(SimStation& station, std::vector<std::string>& events) {
    if (station.update.phase != UpdatePhase::Idle) events.push_back("update-aborted");
    station.update = UpdateSession{};
}

std::string AnswerBgv(SimStation& station, const std::string&, uint64_t, Exchange& exchange) {
    exchange.events.push_back("bgv");
    return station.settings.identification;
}

std::string AnswerBic(SimStation& station, const std::string&, uint64_t, Exchange& exchange) {
    const std::string present = InstrumentPresent(station) ? "1" : "0";
    exchange.events.push_back("bic " + present);
    return present;
}

// BB closes the station's session with the instrument; an unfinished update is dropped.
std::string AnswerBb(SimStation& station, const std::string&, uint64_t, Exchange& exchange) {
    exchange.events.push_back("bb");
    AbortUpdate(station, exchange.events);
    return "OK";
}

std::string AnswerGv(SimStation& station, const std::string&, uint64_t, Exchange& exchange) {
    exchange.events.push_back("gv " + station.version);
    return station.version;
}

std::string AnswerGb(SimStation& station, const std::string&, uint64_t, Exchange& exchange) {
    exchange.events.push_back("gb " + std::to_string(station.batteryMv));
    return std::to_string(station.batteryMv) + " mV";
}

std::string AnswerDustart(SimStation& station, const std::string&, uint64_t, Exchange& exchange) {
    exchange.events.push_back("dustart");
    station.update = UpdateSession{};
    station.update.phase = UpdatePhase::Open;
    return "OK";
}

// DUSIZE and DUSUMM belong between DUSTART and the first block.
std::optional<std::string> RefuseParameter(SimStation& station, const std::string& name, Exchange& exchange) {
    UpdateSession& update = station.update;
    if (update.phase == UpdatePhase::Idle)
        return Refuse(exchange, "ERROR not in update mode", name + " before DUSTART");
    if (update.phase == UpdatePhase::Failed)
        return Refuse(exchange, "ERROR update aborted", name + " after a refused transfer");
    if (update.phase == UpdatePhase::Complete || !update.image.empty()) {
        update.phase = UpdatePhase::Failed;
        return Refuse(exchange, "ERROR transfer in progress", name + " after the first block");
    }
    return std::nullopt;
}

std::string AnswerDusize(SimStation& station, const std::string& argument, uint64_t, Exchange& exchange) {
    exchange.events.push_back("dusize " + EscapeBytes(argument));
    if (auto refusal = RefuseParameter(station, "DUSIZE", exchange)) return *refusal;
    const auto count = ParseDecimal(argument, UINT32_MAX);
    if (!count || *count == 0)
        return Refuse(exchange, "ERROR bad block count",
                      "DUSIZE argument '" + EscapeBytes(argument) + "' is not a block count");
    station.update.blockCount = *count;
    return "OK";
}

std::string AnswerDusumm(SimStation& station, const std::string& argument, uint64_t, Exchange& exchange) {
    exchange.events.push_back("dusumm " + EscapeBytes(argument));
    if (auto refusal = RefuseParameter(station, "DUSUMM", exchange)) return *refusal;
    const auto crc = ParseDecimal(argument, UINT32_MAX);
    if (!crc) {
        return Refuse(exchange, "ERROR bad checksum",
                      "DUSUMM argument '" + EscapeBytes(argument) + "' is not an unsigned 32-bit decimal number");
    }
    station.update.checksum = static_cast<uint32_t>(*crc);
    return "OK";
}

int LowerHexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::optional<std::string> PayloadError(const std::string& payload) {
    if (payload.size() != kBlockHexDigits) {
        return std::to_string(payload.size()) + " payload characters, expected " + std::to_string(kBlockHexDigits);
    }
    for (size_t i = 0; i < payload.size(); ++i) {
        if (LowerHexValue(payload[i]) < 0) {
            return "payload character " + std::to_string(i + 1) + " is '" + EscapeBytes(payload.substr(i, 1)) +
                   "', not a lower-case hex digit";
        }
    }
    return std::nullopt;
}

bool TakeOnce(std::vector<uint64_t>& used, const std::vector<uint64_t>& wanted, uint64_t number) {
    if (std::find(wanted.begin(), wanted.end(), number) == wanted.end()) return false;
    if (std::find(used.begin(), used.end(), number) != used.end()) return false;
    used.push_back(number);
    return true;
}

// The last block closes the image: its CRC-32 must be the one DUSUMM announced.
std::string FinishImage(SimStation& station, Exchange& exchange) {
    UpdateSession& update = station.update;
    exchange.imageComplete = true;
    const uint32_t crc = Crc32(update.image.data(), update.image.size());
    if (crc != *update.checksum) {
        update.phase = UpdatePhase::Failed;
        return Refuse(exchange, "FAIL checksum mismatch",
                      "image CRC-32 " + std::to_string(crc) + " differs from DUSUMM " +
                          std::to_string(*update.checksum));
    }
    update.phase = UpdatePhase::Complete;
    exchange.events.push_back("image-ok blocks=" + std::to_string(*update.blockCount) + " crc=" + std::to_string(crc));
    return "OK";
}

std::string AnswerDub(SimStation& station, const std::string& argument, uint64_t, Exchange& exchange) {
    UpdateSession& update = station.update;
    const uint64_t number = update.image.size() / FirmwareBlockSize + 1;
    const std::string position = BlockPosition(update, number);
    exchange.shownCommand += " (block " + position + ")";
    switch (update.phase) {
    case UpdatePhase::Idle: return Refuse(exchange, "FAIL not in update mode", "block before DUSTART");
    case UpdatePhase::Failed:
        return Refuse(exchange, "FAIL update aborted", "block " + position + " after the transfer failed");
    case UpdatePhase::Complete:
        update.phase = UpdatePhase::Failed;
        return Refuse(exchange, "FAIL too many blocks", "block " + position + " beyond the count announced by DUSIZE");
    case UpdatePhase::Open: break;
    }
    if (!update.blockCount || !update.checksum) {
        update.phase = UpdatePhase::Failed;
        return Refuse(exchange, "FAIL no size or checksum", "block before DUSIZE and DUSUMM");
    }
    if (station.settings.unplugAtBlock == number && !station.unplugUsed) {
        station.unplugUsed = true;
        exchange.reply.unplug = true;
        exchange.events.push_back("unplug at block " + position);
        return "";
    }
    if (auto why = PayloadError(argument)) {
        update.phase = UpdatePhase::Failed;
        return Refuse(exchange, "FAIL bad block", "block " + position + ": " + *why);
    }
    if (TakeOnce(station.refusalsUsed, station.settings.refusedBlocks, number)) {
        update.phase = UpdatePhase::Failed;
        exchange.events.push_back("refused block " + position);
        return "FAIL block " + std::to_string(number) + " refused";
    }
    for (size_t i = 0; i < argument.size(); i += 2) {
        update.image.push_back(static_cast<uint8_t>(LowerHexValue(argument[i]) * 16 + LowerHexValue(argument[i + 1])));
    }
    exchange.events.push_back("block " + position);
    return number < *update.blockCount ? "NEXT" : FinishImage(station, exchange);
}

// DRST boots whatever is in flash: a good new image, or the old firmware when no block came.
std::string AnswerDrst(SimStation& station, const std::string&, uint64_t nowMs, Exchange& exchange) {
    exchange.events.push_back("drst");
    UpdateSession& update = station.update;
    const uint64_t blocks = update.image.size() / FirmwareBlockSize;
    if (blocks > 0 && update.phase == UpdatePhase::Failed)
        return Refuse(exchange, "FAIL image rejected", "DRST after a refused image");
    if (blocks > 0 && update.phase != UpdatePhase::Complete) {
        return Refuse(exchange, "FAIL image incomplete", "DRST after " + BlockPosition(update, blocks) + " blocks");
    }
    station.rebootOutcome = update.phase == UpdatePhase::Complete ? station.settings.afterReboot
                                                                  : AfterReboot::Unchanged;
    station.update = UpdateSession{};
    station.rebooting = true;
    station.rebootEndsMs = nowMs + station.settings.rebootMs;
    exchange.events.push_back("rebooting " + std::to_string(station.settings.rebootMs) + " ms");
    return "OK";
}

constexpr CommandEntry kCommands[] = {
    {.name = "BGV", .handle = AnswerBgv},
    {.name = "BIC", .handle = AnswerBic},
    {.name = "BB", .handle = AnswerBb},
    {.name = "GV", .forInstrument = true, .handle = AnswerGv},
    {.name = "GB", .forInstrument = true, .handle = AnswerGb},
    {.name = "DUSTART", .forInstrument = true, .handle = AnswerDustart},
    {.name = "DUSIZE", .takesArgument = true, .forInstrument = true, .handle = AnswerDusize},
    {.name = "DUSUMM", .takesArgument = true, .forInstrument = true, .handle = AnswerDusumm},
    {.name = "DUB", .takesArgument = true, .forInstrument = true, .handle = AnswerDub},
    {.name = "DRST", .forInstrument = true, .handle = AnswerDrst},
};

const CommandEntry* FindCommand(const std::string& line) {
    for (const CommandEntry& entry : kCommands) {
        if (entry.takesArgument ? line.rfind(entry.name, 0) == 0 : line == entry.name) return &entry;
    }
    return nullptr;
}

uint32_t CountReceipt(SimStation& station, const std::string& name) {
    for (auto& [command, count] : station.received) {
        if (command == name) return ++count;
    }
    station.received.emplace_back(name, 1);
    return 1;
}

// Shapes the normal answer by the faults set for this command and occurrence.
ReplyPlan PlanReply(const SimStation& station, const std::string& name, uint32_t occurrence,
                    const std::optional<std::string>& text, bool unplug) {
    ReplyPlan plan;
    plan.answered = text.has_value();
    plan.unplug = unplug;
    std::string body = text.value_or("");
    std::string lineEnd = "\r\n";
    for (const Fault& fault : station.settings.faults) {
        if (fault.command != name || (fault.occurrence != 0 && fault.occurrence != occurrence)) continue;
        if (fault.kind == FaultKind::Unplug) plan.unplug = true;
        if (!text) continue; // a command nobody answers stays unanswered
        switch (fault.kind) {
        case FaultKind::Reply: body = fault.text; break;
        case FaultKind::Silent: plan.answered = false; break;
        case FaultKind::NoLineEnd: lineEnd.clear(); break;
        case FaultKind::Split: plan.splitMs = fault.ms; break;
        case FaultKind::Garbage: body.assign(kGarbage, sizeof kGarbage - 1); break;
        case FaultKind::Delay: plan.delayMs += fault.ms; break;
        case FaultKind::Unplug: break;
        }
    }
    if (plan.unplug) plan.answered = false;
    if (plan.answered) plan.bytes = body + lineEnd;
    return plan;
}

std::string ShowReply(const ReplyPlan& plan, bool instrumentMissing) {
    if (plan.unplug) return "(unplugged)";
    if (instrumentMissing) return "(no answer: no instrument)";
    if (!plan.answered) return "(silent)";
    std::string shown;
    const bool lineEnd = plan.bytes.size() >= 2 && plan.bytes.compare(plan.bytes.size() - 2, 2, "\r\n") == 0;
    shown = EscapeBytes(lineEnd ? plan.bytes.substr(0, plan.bytes.size() - 2) : plan.bytes);
    if (!lineEnd) shown += " [no line end]";
    if (plan.delayMs > 0) shown += " [after " + std::to_string(plan.delayMs) + " ms]";
    if (plan.splitMs > 0) shown += " [split, " + std::to_string(plan.splitMs) + " ms pause]";
    return shown;
}

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return text;
}

} // namespace

const std::vector<std::string>& KnownCommands() {
    static const auto* names = [] {
        auto* list = new std::vector<std::string>;
        for (const CommandEntry& entry : kCommands) list->push_back(entry.name);
        return list;
    }();
    return *names;
}

SimStation MakeStation(const StationSettings& settings) {
    SimStation station;
    station.settings = settings;
    station.onStation = settings.instrumentOnStation;
    station.version = settings.version;
    station.batteryMv = settings.batteryMv;
    return station;
}

bool InstrumentPresent(const SimStation& station) { return station.onStation && !station.rebooting && !station.dead; }

Exchange HandleCommand(SimStation& station, const std::string& line, uint64_t nowMs) {
    Exchange exchange;
    exchange.events = AdvanceTime(station, nowMs);
    // The program never sends CR; a stray one is tolerated, and the transcript shows it.
    const std::string command = !line.empty() && line.back() == '\r' ? line.substr(0, line.size() - 1) : line;
    exchange.shownCommand = EscapeBytes(Abbreviate(line, 19, 8));
    const CommandEntry* entry = line.size() > kMaxCommandLength ? nullptr : FindCommand(command);
    if (!entry) {
        const std::string why = line.size() > kMaxCommandLength
                                    ? "line longer than " + std::to_string(kMaxCommandLength) + " bytes"
                                    : "unknown command '" + exchange.shownCommand + "'";
        exchange.events.push_back("error " + why);
        exchange.reply = PlanReply(station, "", 0, std::string("ERROR"), false);
        exchange.shownReply = ShowReply(exchange.reply, false);
        return exchange;
    }
    const uint32_t occurrence = CountReceipt(station, entry->name);
    std::optional<std::string> text;
    const bool instrumentMissing = entry->forInstrument && !InstrumentPresent(station);
    if (instrumentMissing) {
        exchange.events.push_back(Lower(entry->name) + " unanswered: no instrument");
    } else {
        text = entry->handle(station, command.substr(entry->takesArgument ? std::string(entry->name).size() : 0), nowMs,
                             exchange);
    }
    exchange.reply = PlanReply(station, entry->name, occurrence, text, exchange.reply.unplug);
    exchange.shownReply = ShowReply(exchange.reply, instrumentMissing);
    return exchange;
}

std::vector<std::string> AdvanceTime(SimStation& station, uint64_t nowMs) {
    if (!station.rebooting || nowMs < station.rebootEndsMs) return {};
    station.rebooting = false;
    if (station.rebootOutcome == AfterReboot::Absent) {
        station.dead = true;
        return {"reboot-failed: the instrument stays silent"};
    }
    if (station.rebootOutcome == AfterReboot::NewVersion) station.version = station.settings.newVersion;
    return {"rebooted version=" + station.version};
}

std::optional<uint64_t> NextTimerMs(const SimStation& station) {
    if (!station.rebooting) return std::nullopt;
    return station.rebootEndsMs;
}

std::vector<std::string> PlaceInstrument(SimStation& station) {
    station.onStation = true;
    return {"placed"};
}

// Taking the instrument off the station breaks any update in progress.
std::vector<std::string> LiftInstrument(SimStation& station) {
    std::vector<std::string> events{"lifted"};
    station.onStation = false;
    AbortUpdate(station, events);
    return events;
}

std::vector<std::string> SetBattery(SimStation& station, uint32_t millivolts) {
    station.batteryMv = millivolts;
    return {"battery " + std::to_string(millivolts)};
}

// The version set by hand wins over the one a running reboot would bring.
std::vector<std::string> SetVersion(SimStation& station, const std::string& version) {
    station.version = version;
    if (station.rebootOutcome == AfterReboot::NewVersion) station.rebootOutcome = AfterReboot::Unchanged;
    return {"version " + version};
}

std::vector<std::string> StationUnplugged(SimStation& station) {
    std::vector<std::string> events{"unplugged"};
    AbortUpdate(station, events);
    return events;
}

std::string DescribeStation(const SimStation& station) {
    const char* instrument = station.dead        ? "dead"
                             : station.rebooting ? "rebooting"
                             : station.onStation ? "present"
                                                 : "lifted";
    std::string update;
    switch (station.update.phase) {
    case UpdatePhase::Idle: update = "idle"; break;
    case UpdatePhase::Open:
        update = "open " + std::to_string(station.update.image.size() / FirmwareBlockSize) + "/" +
                 (station.update.blockCount ? std::to_string(*station.update.blockCount) : std::string("?"));
        break;
    case UpdatePhase::Complete: update = "complete"; break;
    case UpdatePhase::Failed: update = "failed"; break;
    }
    return "status instrument=" + std::string(instrument) + " on-station=" + (station.onStation ? "1" : "0") +
           " version=" + station.version + " battery=" + std::to_string(station.batteryMv) + " update=" + update;
}
