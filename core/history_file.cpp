#include "core/history_file.h"

namespace {

const HistoryFileHooks kRealFiles = {
    .append = AppendHistoryFile,
    .read = ReadHistoryFile,
    .remove = RemoveHistoryFile,
};
const HistoryFileHooks* current = &kRealFiles; // the window thread's, as the history is

} // namespace

void SetHistoryFileHooks(const HistoryFileHooks* hooks) { current = hooks != nullptr ? hooks : &kRealFiles; }

const HistoryFileHooks& CurrentHistoryFileHooks() { return *current; }
