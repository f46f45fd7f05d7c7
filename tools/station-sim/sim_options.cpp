#include "tools/station-sim/sim_options.h"

#include <algorithm>
#include <optional>

#include "tools/station-sim/sim_text.h"

namespace {

constexpr uint32_t kMaxPauseMs = 600000;
constexpr uint32_t kMaxRebootMs = 3600000;

// What the parser knows while it walks the arguments.
struct ParseState {
    SimOptions options;
    bool afterRebootGiven = false;
    std::vector<std::string> seen; // single-valued options already given
};

using Apply = std::optional<std::string> (*)(ParseState&, const std::string& value); // error text or nullopt

struct OptionEntry {
    const char* name;
    bool takesValue = false;
    bool repeatable = false;
    Apply apply;
};

std::optional<std::string> Number(const std::string& value, uint64_t min, uint64_t max, uint64_t& out) {
    const auto number = ParseDecimal(value, max);
    if (!number || *number < min) {
        return "'" + value + "' is not a number from " + std::to_string(min) + " to " + std::to_string(max);
    }
    out = *number;
    return std::nullopt;
}

std::optional<std::string> PlainText(const std::string& value, std::string& out) {
    if (value.empty()) return std::string("the text must not be empty (--reply sends any text, an empty one too)");
    for (const char c : value) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            return std::string("control characters are not allowed here");
    }
    out = value;
    return std::nullopt;
}

// "GV" or "GV#2": a known mnemonic, optionally the one occurrence the fault applies to.
std::optional<std::string> CommandWithOccurrence(const std::string& text, Fault& fault) {
    const size_t hash = text.find('#');
    fault.command = text.substr(0, hash);
    const auto& known = KnownCommands();
    if (std::find(known.begin(), known.end(), fault.command) == known.end()) {
        std::string list;
        for (const auto& name : known) list += " " + name;
        return "unknown command '" + fault.command + "' (known:" + list + ")";
    }
    if (hash == std::string::npos) return std::nullopt;
    uint64_t occurrence = 0;
    if (auto error = Number(text.substr(hash + 1), 1, UINT32_MAX, occurrence)) return "occurrence " + *error;
    fault.occurrence = static_cast<uint32_t>(occurrence);
    return std::nullopt;
}

// CMD or CMD=VALUE, as the fault kind needs.
std::optional<std::string> AddFault(ParseState& state, FaultKind kind, const std::string& value, bool withValue) {
    Fault fault;
    fault.kind = kind;
    const size_t equals = value.find('=');
    if (withValue != (equals != std::string::npos))
        return std::string(withValue ? "expected CMD=VALUE" : "expected CMD");
    if (auto error = CommandWithOccurrence(value.substr(0, equals), fault)) return error;
    if (withValue) {
        const std::string argument = value.substr(equals + 1);
        if (kind == FaultKind::Reply) {
            const auto text = UnescapeText(argument);
            if (!text) return "bad escape in '" + argument + "' (use \\\\, \\r, \\n, \\t, \\xHH)";
            fault.text = *text;
        } else {
            uint64_t ms = 0;
            if (auto error = Number(argument, kind == FaultKind::Split ? 1 : 0, kMaxPauseMs, ms)) return error;
            fault.ms = static_cast<uint32_t>(ms);
        }
    }
    state.options.station.faults.push_back(fault);
    return std::nullopt;
}

// A fault option's value: CMD=VALUE for the faults that carry one, else CMD.
template <FaultKind kind, bool withValue>
std::optional<std::string> FaultOption(ParseState& state, const std::string& value) {
    return AddFault(state, kind, value, withValue);
}

std::optional<std::string> SetAfterReboot(ParseState& state, const std::string& value) {
    constexpr std::pair<const char*, AfterReboot> kModes[] = {
        {"new", AfterReboot::NewVersion}, {"unchanged", AfterReboot::Unchanged}, {"absent", AfterReboot::Absent}};
    for (const auto& [name, mode] : kModes) {
        if (value != name) continue;
        state.options.station.afterReboot = mode;
        state.afterRebootGiven = true;
        return std::nullopt;
    }
    return "'" + value + "' is not one of new, unchanged, absent";
}

template <typename Int>
std::optional<std::string> SetNumber(const std::string& value, uint64_t min, uint64_t max, Int& field) {
    uint64_t number = 0;
    if (auto error = Number(value, min, max, number)) return error;
    field = static_cast<Int>(number);
    return std::nullopt;
}

// clang-format off
const OptionEntry kOptions[] = {
    {.name = "--ident", .takesValue = true, .apply =
     [](ParseState& s, const std::string& v) { return PlainText(v, s.options.station.identification); }},
    {.name = "--instrument-version", .takesValue = true, .apply =
     [](ParseState& s, const std::string& v) { return PlainText(v, s.options.station.version); }},
    {.name = "--battery", .takesValue = true, .apply =
     [](ParseState& s, const std::string& v) { return SetNumber(v, 0, 99999, s.options.station.batteryMv); }},
    {.name = "--absent", .apply =
     [](ParseState& s, const std::string&) -> std::optional<std::string> {
         s.options.station.instrumentOnStation = false;
         return std::nullopt;
     }},
    {.name = "--reboot-ms", .takesValue = true, .apply =
     [](ParseState& s, const std::string& v) { return SetNumber(v, 0, kMaxRebootMs, s.options.station.rebootMs); }},
    {.name = "--new-version", .takesValue = true, .apply =
     [](ParseState& s, const std::string& v) { return PlainText(v, s.options.station.newVersion); }},
    {.name = "--after-reboot", .takesValue = true, .apply = SetAfterReboot},
    {.name = "--reply", .takesValue = true, .repeatable = true, .apply = FaultOption<FaultKind::Reply, true>},
    {.name = "--silent", .takesValue = true, .repeatable = true, .apply = FaultOption<FaultKind::Silent, false>},
    {.name = "--no-lf", .takesValue = true, .repeatable = true, .apply = FaultOption<FaultKind::NoLineEnd, false>},
    {.name = "--split", .takesValue = true, .repeatable = true, .apply = FaultOption<FaultKind::Split, true>},
    {.name = "--garbage", .takesValue = true, .repeatable = true, .apply = FaultOption<FaultKind::Garbage, false>},
    {.name = "--delay", .takesValue = true, .repeatable = true, .apply = FaultOption<FaultKind::Delay, true>},
    {.name = "--unplug-on", .takesValue = true, .repeatable = true, .apply = FaultOption<FaultKind::Unplug, false>},
    {.name = "--refuse-block", .takesValue = true, .repeatable = true, .apply =
     [](ParseState& s, const std::string& v) {
         uint64_t block = 0;
         auto error = Number(v, 1, UINT32_MAX, block);
         if (!error) s.options.station.refusedBlocks.push_back(block);
         return error;
     }},
    {.name = "--unplug-at-block", .takesValue = true, .apply =
     [](ParseState& s, const std::string& v) { return SetNumber(v, 1, UINT32_MAX, s.options.station.unplugAtBlock); }},
    {.name = "--line-rate", .apply =
     [](ParseState& s, const std::string&) -> std::optional<std::string> {
         s.options.lineRate = true;
         return std::nullopt;
     }},
    {.name = "--link", .takesValue = true, .apply =
     [](ParseState& s, const std::string& v) { return PlainText(v, s.options.linkPath); }},
    {.name = "--control", .takesValue = true, .apply =
     [](ParseState& s, const std::string& v) { return PlainText(v, s.options.controlPath); }},
    {.name = "--transcript", .takesValue = true, .apply =
     [](ParseState& s, const std::string& v) { return PlainText(v, s.options.transcriptPath); }},
    {.name = "--save-image", .takesValue = true, .apply =
     [](ParseState& s, const std::string& v) { return PlainText(v, s.options.saveImagePath); }},
};
// clang-format on

const OptionEntry* FindOption(const std::string& name) {
    for (const OptionEntry& entry : kOptions) {
        if (name == entry.name) return &entry;
    }
    return nullptr;
}

ParsedOptions Failure(const std::string& error) { return {.outcome = ParseOutcome::Error, .error = error}; }

// Without --after-reboot a good image brings --new-version when one is given, else no change.
std::optional<std::string> ResolveAfterReboot(ParseState& state) {
    StationSettings& station = state.options.station;
    if (!state.afterRebootGiven) {
        station.afterReboot = station.newVersion.empty() ? AfterReboot::Unchanged : AfterReboot::NewVersion;
    }
    if (station.afterReboot == AfterReboot::NewVersion && station.newVersion.empty()) {
        return std::string("--after-reboot new needs --new-version");
    }
    return std::nullopt;
}

} // namespace

ParsedOptions ParseOptions(const std::vector<std::string>& args) {
    ParseState state;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") return {.outcome = ParseOutcome::Help};
        const size_t equals = arg.find('=');
        const std::string name = arg.substr(0, equals);
        const OptionEntry* entry = arg.rfind("--", 0) == 0 ? FindOption(name) : nullptr;
        if (!entry)
            return Failure(arg.rfind("-", 0) == 0 ? "unknown option '" + name + "'"
                                                  : "unexpected argument '" + arg + "'");
        if (!entry->takesValue && equals != std::string::npos) return Failure(name + " takes no value");
        if (!entry->repeatable && std::find(state.seen.begin(), state.seen.end(), name) != state.seen.end()) {
            return Failure(name + " given twice");
        }
        state.seen.push_back(name);
        std::string value;
        if (entry->takesValue && equals != std::string::npos) {
            value = arg.substr(equals + 1);
        } else if (entry->takesValue) {
            if (i + 1 == args.size()) return Failure(name + " needs a value");
            value = args[++i];
        }
        if (auto error = entry->apply(state, value)) return Failure(name + ": " + *error);
    }
    if (auto error = ResolveAfterReboot(state)) return Failure(*error);
    return {.outcome = ParseOutcome::Run, .options = state.options};
}

std::string HelpText() {
    return R"(Usage: station-sim [OPTION]...
Plays the Zarvel data station with the instrument on it, on a pseudo-terminal, so that Zarvel
Update can be rehearsed and tested without hardware. The first line on stdout is "pty PATH";
by then the link, the control FIFO and the transcript are ready.

Protocol (commands end with LF, replies with CR LF):
  BGV          the station's identification (--ident)
  BIC          "1" while the instrument is on the station, "0" while it is not
  GV           the instrument's version          GB    battery, e.g. "3950 mV"
  BB           "OK"; drops an unfinished update
  DUSTART      "OK"; starts the update mode
  DUSIZE<n>    "OK"; n blocks (decimal, 1 or more)      DUSUMM<crc>  "OK"; CRC-32 in decimal
  DUB<hex>     "NEXT", for the last announced block "OK" once the image's CRC-32 matches
  DRST         "OK"; the instrument restarts: absent for --reboot-ms, then back
  other        "ERROR"
BGV, BIC and BB are answered by the station itself. Every other command goes to the instrument
and gets no answer at all while the instrument is off the station or restarting.
Validation: a block must be 240 lower-case hex digits, DUSIZE and DUSUMM must follow DUSTART
and come before the first block, no block may come beyond the DUSIZE count, and the image's
CRC-32 must equal DUSUMM. A violation is answered "ERROR ..." (parameters) or "FAIL ..."
(blocks, image, DRST after an unfinished or refused image) and reported as "event error ...".
Only a DRST after a good image changes the version (see --after-reboot); a DRST with no block
received restarts into the old firmware.

Station and instrument:
  --ident TEXT               BGV reply (default "ZARVEL DS-4 v3.1")
  --instrument-version TEXT  GV reply at start (default "1.0.0")
  --battery MV               GB reply in millivolts, 0..99999 (default 3950)
  --absent                   the instrument is not on the station at start
  --reboot-ms MS             restart time after DRST (default 3000)
  --new-version TEXT         the version a good image brings
  --after-reboot MODE        after a good image and DRST the instrument comes back with
                             new: --new-version; unchanged: its old version;
                             absent: never (silent until the simulator restarts).
                             Default: new with --new-version, otherwise unchanged.

Faults. CMD is a mnemonic (BGV BIC GV GB BB DUSTART DUSIZE DUSUMM DUB DRST); CMD#N limits the
fault to the N-th time that command arrives (counted over the whole run). Faults may be
combined and repeated. They shape the reply only; the command still takes effect.
  --reply CMD=TEXT           answer TEXT (escapes \\ \r \n \t \xHH) followed by CR LF
  --silent CMD               no answer
  --no-lf CMD                answer without CR LF
  --split CMD=MS             answer in two writes with MS ms between them
  --garbage CMD              answer 16 bytes of line noise (NUL, 0xFF, ...) and CR LF
  --delay CMD=MS             answer after MS ms; later commands wait their turn
  --unplug-on CMD            pull the cable when CMD arrives (no answer)
  --refuse-block K           answer block K with "FAIL block K refused" (once)
  --unplug-at-block K        pull the cable when block K arrives (once)
  --line-rate                emulate 115200 baud 8N1: about 86.8 us per byte, each way

Files:
  --link PATH                symlink to the current pty, re-pointed after unplug and plug,
                             removed while unplugged and at the end
  --control PATH             FIFO for control commands, made here (echo lift > PATH)
  --transcript FILE          one line per exchange: time, command (long DUB payloads cut),
                             reply; also errors and control events
  --save-image FILE          the received image, written when its last block arrives
  --help                     this text

Control commands, on stdin or the FIFO, one per line:
  place | lift | unplug | plug | set battery <mV> | set version <text> | status | help | quit
End of stdin is not a quit. SIGINT and SIGTERM end the simulator like quit.

Events on stdout, one per line: "event bgv", "event bic 1", "event gv 1.0.0", "event gb 3950",
"event dustart", "event dusize 7", "event dusumm 123", "event block 3/7",
"event image-ok blocks=7 crc=123", "event saved FILE", "event drst", "event rebooting 3000 ms",
"event rebooted version=1.1.0", "event reboot-failed: ...", "event gv unanswered: no instrument",
"event refused block 3/7", "event unplug at block 3/7", "event unplugged",
"event plugged /dev/pts/N", "event placed", "event lifted", "event update-aborted",
"event battery 3800", "event version 1.2.0", "event status ...", "event error ...",
"event control-error ...", "event quit".

Exit status: 0 after quit or a signal, 1 when the pty or a file cannot be set up, 2 for bad
options.
)";
}
