#include <exception>
#include <string>

#include "core/app_state.h"
#include "core/log.h"
#include "core/notifications.h"
#include "serial/commands.h"
#include "workflows/workflows.h"

namespace {

constexpr wchar_t kDisconnectedText[] = L"Обновление отменено. Прибор отключён от дата-станции.";

// BB tells the station the update is declined; no answer changes the outcome.
void TellStation(SerialPort& port) {
    if (!FindStation(port, App().preferredPort.load())) return;
    const std::string reply = Ask(port, Command::Bb);
    WriteLog("BB (cancel/disconnect) -> " + LoggedReply(reply));
}

} // namespace

void DisconnectWorker() {
    SerialPort port;
    // The window stays busy until the Cancelled below: no error may keep it from going out.
    try {
        TellStation(port);
    } catch (const std::exception& error) {
        LogInternalError("Disconnect", error);
    }
    // The window starts a new monitor on the Cancelled below: it must find the port free.
    ClosePort(port);
    App().operationBusy.exchange(false);
    PostNotification(MSG_PROGRESS, 0, 0);
    PostOperationDone(Cancelled, kDisconnectedText);
}
