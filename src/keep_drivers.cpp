// Only in the sanitizer build (VORTANA_SANITIZE).
//
// Mesa's drivers hold a few blocks for the life of the process, reachable
// only from their own globals, and EGL unloads the driver at exit, before
// LeakSanitizer looks. Unmapped, those globals stop being roots: the blocks
// look leaked, and the report can't even name the module. Qt's Wayland client
// loads a driver in every start, because its window decorations need an EGL
// display even where nothing draws with GL. Kept mapped, a driver's globals
// count as a linked library's do; a block nothing points to is still reported.

#include <dlfcn.h>
#include <link.h>

#include <string_view>

namespace {

bool isMesaDriver(std::string_view path)
{
    return path.find("/dri/") != std::string_view::npos && path.ends_with("_dri.so");
}

}  // namespace

// The executable's own dlclose comes first in the lookup, before the
// sanitizer's, so it needs exporting (see CMakeLists.txt).
extern "C" int dlclose(void *handle)
{
    static const auto next = reinterpret_cast<int (*)(void *)>(dlsym(RTLD_NEXT, "dlclose"));
    link_map *map = nullptr;
    if (dlinfo(handle, RTLD_DI_LINKMAP, &map) == 0 && map && map->l_name && isMesaDriver(map->l_name))
        return 0;
    return next(handle);
}
