#include "ui/update_history.h"

#include <cstdint>
#include <exception>
#include <mutex>

#include "core/app_state.h"
#include "core/clock.h"
#include "core/history.h"
#include "core/log.h"
#include "firmware/firmware_version.h"
#include "serial/commands.h"
#include "text/text.h"

namespace {

uint64_t startedAtMs = 0; // window thread only

HistoryEntry EntryOf(OperationResult result, const std::wstring& message) {
    const AppState& app = App();
    UpdateFacts facts;
    {
        std::lock_guard<std::mutex> lock(App().updateMutex);
        facts = app.updateFacts;
    }
    // Replies go in as the log shows them: escaped, so that each stays on its line, and capped.
    HistoryEntry entry;
    entry.handled = LogClockNow();
    entry.comPort = facts.comPort;
    entry.station = LoggedReply(facts.stationReply);
    entry.versionBefore = LoggedReply(app.instrumentVersion);
    entry.fileName = WideToUtf8(FileNamePart(app.firmware.path));
    entry.fileVersion = app.firmware.version;
    entry.crc32 = app.firmware.crc32;
    entry.blocks = BlockCount(app.firmware);
    entry.batteryVolts = facts.batteryVolts.value_or(app.batteryVoltage);
    entry.seconds = (TickMs() - startedAtMs) / 1000;
    entry.result = result;
    entry.message = result == Succeeded ? std::string() : WideToUtf8(message);
    return entry;
}

} // namespace

void NoteUpdateStarted() { startedAtMs = TickMs(); }

void RecordUpdateEnded(OperationResult result, const std::wstring& message) {
    try {
        AppendHistory(EntryOf(result, message));
    } catch (const std::exception&) {
        // Without memory for the line the update's result must still reach the user.
        WriteLog("Update history cannot be written");
    }
}
