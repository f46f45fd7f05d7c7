#include "ui/gdiplus_flat.h"

#include "ui/gdi_guards.h"
#include "ui/system_libraries.h"

namespace {

struct Tables {
    GdiplusFlat flat;
    GdiplusReleases releases;
};

Tables& Loaded() {
    static Tables tables;
    return tables;
}

Tables Resolve(HMODULE module) {
    Tables tables;
    bool complete = module != nullptr;
#define ZARVEL_GDIPLUS_RESOLVE(table, name)                                         \
    tables.table.name = SystemFunction<decltype(tables.table.name)>(module, #name); \
    complete = complete && tables.table.name != nullptr;
#define ZARVEL_GDIPLUS_RESOLVE_FLAT(name) ZARVEL_GDIPLUS_RESOLVE(flat, name)
#define ZARVEL_GDIPLUS_RESOLVE_RELEASE(name) ZARVEL_GDIPLUS_RESOLVE(releases, name)
    ZARVEL_GDIPLUS_FUNCTIONS(ZARVEL_GDIPLUS_RESOLVE_FLAT)
    ZARVEL_GDIPLUS_RELEASES(ZARVEL_GDIPLUS_RESOLVE_RELEASE)
#undef ZARVEL_GDIPLUS_RESOLVE_RELEASE
#undef ZARVEL_GDIPLUS_RESOLVE_FLAT
#undef ZARVEL_GDIPLUS_RESOLVE
    if (!complete) return Tables();
    tables.flat.loaded = true;
    return tables;
}

} // namespace

bool LoadGdiplusFlat() {
    Tables& tables = Loaded();
    if (!tables.flat.loaded) tables = Resolve(LoadSystemLibrary(L"gdiplus.dll"));
    return tables.flat.loaded;
}

const GdiplusFlat& Gdip() { return Loaded().flat; }

const GdiplusReleases& GdipReleases() { return Loaded().releases; }
