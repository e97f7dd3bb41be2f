// The mock runtime's entry: bin\vrclient_x64.dll of a runtime folder, which
// the VR client library (openvr_api.dll) loads, from the folder that
// VR_OVERRIDE or the path registry names, and asks for its client core. The
// core opens and closes the stand-in headset (mock_headset.h) and hands out
// its system and compositor interfaces.
#include "tools/mock_vr_runtime/mock_headset.h"

#include <windows.h>

#include <string>

namespace {

// The runtime side of the client library's connection, "IVRClientCore_003".
class IVRClientCore {
public:
    virtual vr::EVRInitError Init(vr::EVRApplicationType type, const char* startupInfo) = 0;
    virtual void Cleanup() = 0;
    virtual vr::EVRInitError IsInterfaceVersionValid(const char* version) = 0; // 0: valid
    virtual void* GetGenericInterface(const char* version, vr::EVRInitError* error) = 0;
    virtual bool BIsHmdPresent() = 0;
    virtual const char* GetEnglishStringForHmdError(vr::EVRInitError error) = 0;
    virtual const char* GetIDForVRInitError(vr::EVRInitError error) = 0;
};

constexpr char clientCoreVersion[] = "IVRClientCore_003";

// The system interface and the one compositor version the settings name.
bool offered(const std::string& version) {
    return (version == vr::IVRSystem_Version || version == mockSettings().compositorVersion) &&
           !mockSettings().reportsInvalid(version.c_str());
}

// Opening the session takes until the test's file appears, as it takes as
// long as a runtime that was not running needs to start; a runtime that has
// not started after a few minutes never will, and says so. False then.
bool waitForRuntimeStart() {
    constexpr ULONGLONG longestStart = 180000;
    const ULONGLONG start = GetTickCount64();
    while (GetFileAttributesA(mockSettings().initWhen.c_str()) == INVALID_FILE_ATTRIBUTES) {
        if (GetTickCount64() - start > longestStart) {
            logCall("Init gives up: the runtime's start was not signalled within " +
                    std::to_string(longestStart) + "ms");
            return false;
        }
        Sleep(10);
    }
    logCall("Init returns waited=" + std::to_string(GetTickCount64() - start) + "ms");
    return true;
}

// Set in the process's environment by the first opening: the client library
// unloads the runtime when its session is shut down, and with it what the
// runtime remembers.
constexpr char openedBeforeVariable[] = "HT_MOCK_VR_OPENED_BEFORE";

// The configured error; for a session opened again in the same process, the
// one configured for that (a runtime that went away or refuses).
vr::EVRInitError openingError() {
    const bool again = GetEnvironmentVariableA(openedBeforeVariable, nullptr, 0) > 0;
    SetEnvironmentVariableA(openedBeforeVariable, "1");
    if (again && mockSettings().reopenError != 0) {
        logCall("Init refuses a session opened again: error " +
                std::to_string(mockSettings().reopenError));
        return static_cast<vr::EVRInitError>(mockSettings().reopenError);
    }
    return static_cast<vr::EVRInitError>(mockSettings().initError);
}

class MockClientCore : public IVRClientCore {
public:
    vr::EVRInitError Init(vr::EVRApplicationType type, const char*) override {
        logCall("Init type=" + std::to_string(type));
        if (!mockSettings().initWhen.empty() && !waitForRuntimeStart()) {
            return vr::VRInitError_IPC_ConnectFailed;
        }
        const vr::EVRInitError error = openingError();
        if (error == vr::VRInitError_None && !open) {
            openHeadset();
            open = true;
        }
        return error;
    }

    // Logged once done: what the headset let go of comes first.
    void Cleanup() override {
        if (open) {
            closeHeadset();
            open = false;
        }
        logCall("Cleanup");
    }

    vr::EVRInitError IsInterfaceVersionValid(const char* version) override {
        const bool valid = offered(version);
        logCall(std::string("IsInterfaceVersionValid ") + version + " -> " + (valid ? "1" : "0"));
        return valid ? vr::VRInitError_None : vr::VRInitError_Init_InterfaceNotFound;
    }

    void* GetGenericInterface(const char* version, vr::EVRInitError* error) override {
        logCall(std::string("GetGenericInterface ") + version);
        void* found = nullptr;
        if (offered(version) && std::string(version) == vr::IVRSystem_Version) {
            found = headsetSystem();
        } else if (offered(version) && !mockSettings().nullCompositor) {
            found = std::string(version) == vr::IVRCompositor_OlderVersion
                        ? headsetCompositor027()
                        : static_cast<void*>(headsetCompositor());
        }
        if (error != nullptr) {
            *error =
                found != nullptr ? vr::VRInitError_None : vr::VRInitError_Init_InterfaceNotFound;
        }
        return found;
    }

    bool BIsHmdPresent() override { return true; }

    const char* GetEnglishStringForHmdError(vr::EVRInitError error) override {
        switch (error) {
        case vr::VRInitError_None:
            return "No Error (0)";
        case vr::VRInitError_Init_InterfaceNotFound:
            return "Interface Not Found (105)";
        case vr::VRInitError_Init_HmdNotFound:
            return "Hmd Not Found (108)";
        case vr::VRInitError_Init_NoServerForBackgroundApp:
            return "No Server For Background App (121)";
        case vr::VRInitError_IPC_ConnectFailed:
            return "Connect to VR Server Failed (301)";
        default:
            return "Mock runtime error";
        }
    }

    const char* GetIDForVRInitError(vr::EVRInitError) override { return "VRInitError_Mock"; }

private:
    // A second VR_InitInternal2 in the process starts the core again; the one
    // shutdown of the library ends it.
    bool open = false;
};

MockClientCore clientCore;

} // namespace

extern "C" __declspec(dllexport) void* VRClientCoreFactory(const char* name, int* returnCode) {
    logCall(std::string("VRClientCoreFactory ") + name);
    const bool known = std::string(name) == clientCoreVersion;
    if (returnCode != nullptr) {
        *returnCode = known ? vr::VRInitError_None : vr::VRInitError_Init_InterfaceNotFound;
    }
    return known ? static_cast<IVRClientCore*>(&clientCore) : nullptr;
}
