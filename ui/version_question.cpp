#include "ui/version_question.h"

#include <string>

#include "core/app_state.h"
#include "core/log.h"
#include "firmware/firmware_version.h"
#include "serial/commands.h"
#include "text/text.h"
#include "ui/window_helpers.h"

namespace {

struct VersionQuestion {
    VersionStanding standing;
    std::wstring (*text)(const std::wstring& instrument, const std::wstring& file);
    const char* declined;
    const char* confirmed;
};

// A service centre that places an updated instrument back by mistake would flash it again for
// nothing; a downgrade is rarely meant.
const VersionQuestion kQuestions[] = {
    {.standing = VersionStanding::Same,
     .text =
         [](const std::wstring&, const std::wstring& file) {
             return L"На приборе уже установлена версия " + file + L". Установить её повторно?";
         },
     .declined = "Update not started: same version declined",
     .confirmed = "Reinstall of the same version confirmed"},
    {.standing = VersionStanding::FileOlder,
     .text =
         [](const std::wstring& instrument, const std::wstring& file) {
             return L"Версия файла " + file + L" старше версии прибора " + instrument +
                    L". Установить более старую версию?";
         },
     .declined = "Update not started: older version declined",
     .confirmed = "Downgrade confirmed"},
};

} // namespace

void LogVersions() {
    const AppState& app = App();
    if (!app.instrumentReady || app.instrumentVersion.empty() || !app.firmwareReady || app.firmware.version.empty())
        return;
    WriteLog("Instrument version: " + LoggedReply(app.instrumentVersion) + "; file version: " + app.firmware.version);
}

bool ConfirmFirmwareVersion() {
    const AppState& app = App();
    const VersionStanding standing = CompareVersions(app.instrumentVersion, app.firmware.version);
    for (const VersionQuestion& question : kQuestions) {
        if (question.standing != standing) continue;
        const std::wstring text = question.text(Utf8ToWide(app.instrumentVersion), Utf8ToWide(app.firmware.version));
        const bool yes = AskYesNo(text.c_str(), L"Версия прошивки");
        WriteLog(yes ? question.confirmed : question.declined);
        return yes;
    }
    return true;
}

std::wstring InstrumentLine(const std::string& version) {
    const std::wstring line = L"✓  Прибор подключён";
    return version.empty() ? line : line + L", версия " + Utf8ToWide(LoggedReply(version));
}
