#include "vr/vr_library.h"

#include <windows.h>

namespace {

constexpr char libraryName[] = "openvr_api.dll";

HMODULE loadBesideTheProgram() {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return nullptr;
    }
    std::string folder(path, length);
    folder.erase(folder.find_last_of('\\') + 1);
    return LoadLibraryA((folder + libraryName).c_str());
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
    HMODULE library = loadBesideTheProgram();
    if (library == nullptr) {
        library = LoadLibraryA(libraryName);
    }
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
