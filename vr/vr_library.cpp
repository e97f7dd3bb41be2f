#include "vr/vr_library.h"

#include <windows.h>

namespace {

constexpr char libraryName[] = "openvr_api.dll";

// NOTE: the plain search order also looks in the working directory, where the
// program's assets must be, so a library of that name dropped there would run
// inside the program. Only the program's own folder and the system's safe
// directories are searched.
HMODULE loadFromSafeFolders() {
    return LoadLibraryExA(libraryName, nullptr,
                          LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
}

template <typename Function> bool resolve(HMODULE library, const char* name, Function& function) {
    function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(library, name)));
    return function != nullptr;
}

// Returns the name of the first entry point that is missing, or null.
const char* resolveAll(HMODULE library, VrEntryPoints& entry) {
    if (!resolve(library, "VR_InitInternal2", entry.initInternal2)) {
        return "VR_InitInternal2";
    }
    if (!resolve(library, "VR_ShutdownInternal", entry.shutdownInternal)) {
        return "VR_ShutdownInternal";
    }
    if (!resolve(library, "VR_IsInterfaceVersionValid", entry.isInterfaceVersionValid)) {
        return "VR_IsInterfaceVersionValid";
    }
    if (!resolve(library, "VR_GetGenericInterface", entry.getGenericInterface)) {
        return "VR_GetGenericInterface";
    }
    if (!resolve(library, "VR_GetInitToken", entry.getInitToken)) {
        return "VR_GetInitToken";
    }
    if (!resolve(library, "VR_GetVRInitErrorAsEnglishDescription", entry.getErrorDescription)) {
        return "VR_GetVRInitErrorAsEnglishDescription";
    }
    return nullptr;
}

struct LoadedLibrary {
    bool loaded = false;
    std::string failure;
    VrEntryPoints entry;
};

LoadedLibrary load() {
    LoadedLibrary result;
    HMODULE library = loadFromSafeFolders();
    if (library == nullptr) {
        result.failure = std::string(libraryName) + " was not found (no VR runtime installed)";
        return result;
    }
    if (const char* missing = resolveAll(library, result.entry)) {
        result.failure = std::string(libraryName) + " lacks the entry point " + missing;
        return result;
    }
    result.loaded = true;
    return result;
}

} // namespace

const VrEntryPoints* loadVrLibrary(std::string& reason) {
    static const LoadedLibrary library = load();
    reason = library.failure;
    return library.loaded ? &library.entry : nullptr;
}

VrInterfaceCache& vrInterfaceCache() {
    static VrInterfaceCache cache;
    return cache;
}
