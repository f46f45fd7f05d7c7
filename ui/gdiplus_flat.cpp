#include "ui/gdiplus_flat.h"

#include "ui/system_libraries.h"

namespace {

GdiplusFlat& Table() {
    static GdiplusFlat table;
    return table;
}

GdiplusFlat Resolve(HMODULE module) {
    GdiplusFlat flat;
    bool complete = module != nullptr;
#define ZARVEL_GDIPLUS_RESOLVE(name)                                   \
    flat.name = SystemFunction<decltype(flat.name)>(module, #name); \
    complete = complete && flat.name != nullptr;
    ZARVEL_GDIPLUS_FUNCTIONS(ZARVEL_GDIPLUS_RESOLVE)
#undef ZARVEL_GDIPLUS_RESOLVE
    if (!complete) return GdiplusFlat();
    flat.loaded = true;
    return flat;
}

} // namespace

bool LoadGdiplusFlat() {
    GdiplusFlat& table = Table();
    if (!table.loaded) table = Resolve(LoadSystemLibrary(L"gdiplus.dll"));
    return table.loaded;
}

const GdiplusFlat& Gdip() { return Table(); }
