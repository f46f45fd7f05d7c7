#include "core/history_file.h"

#include "text/seam.h"

namespace {

constexpr HistoryFileHooks kRealFiles = {
    .append = AppendHistoryFile,
    .read = ReadHistoryFile,
    .remove = RemoveHistoryFile,
};
constinit Seam<HistoryFileHooks> historyFileSeam{kRealFiles};

} // namespace

void SetHistoryFileHooks(const HistoryFileHooks* hooks) { historyFileSeam.Set(hooks); }

const HistoryFileHooks& CurrentHistoryFileHooks() { return historyFileSeam.Current(); }
