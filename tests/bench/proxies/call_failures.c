#include "call_failures.h"

#include "lost_devices.h"

#include <stdlib.h>
#include <string.h>

#define MAX_TARGETS 8
#define MAX_THUNKS 16

struct Target {
    char name[96];
    LONG first;      /* the first call that fails, counted from 1 */
    BOOL everyLater; /* and every call after it */
    BOOL inFrames;   /* counted from the end of the first Present only */
    DWORD lastsMs;   /* with everyLater: for this long after the first failure only */
    ULONGLONG failingSince;
    volatile LONG calls;
};

/* Set in the process's environment by the dxgi.dll proxy, so that the
 * d3d12.dll proxy, a module of its own, sees it too. */
static const char framesStartedVariable[] = "HT_PROXY_FRAMES_STARTED";

static struct Target targets[MAX_TARGETS];
static int targetCount;
static char armedRequest[512];

/* Re-reads HT_FAIL_CALL when it changed since the last call (tests in one
 * process change it between devices); the counts start again then. */
static void armRequestedFailures(void) {
    char request[sizeof(armedRequest)];
    char* item;
    char* rest;
    DWORD length = GetEnvironmentVariableA("HT_FAIL_CALL", request, sizeof(request));
    if (length >= sizeof(request)) {
        length = 0;
    }
    request[length] = '\0';
    if (strcmp(request, armedRequest) == 0) {
        return;
    }
    strcpy(armedRequest, request);
    targetCount = 0;
    for (item = strtok_s(request, ",", &rest); item != NULL && targetCount < MAX_TARGETS;
         item = strtok_s(NULL, ",", &rest)) {
        struct Target* target = &targets[targetCount++];
        char* at = strchr(item, '@');
        memset(target, 0, sizeof(*target));
        target->first = 1;
        target->everyLater = TRUE;
        if (at != NULL) {
            static const char framePrefix[] = "frame:";
            char* ordinal = at + 1;
            *at = '\0';
            target->inFrames = strncmp(ordinal, framePrefix, sizeof(framePrefix) - 1) == 0;
            if (target->inFrames) {
                ordinal += sizeof(framePrefix) - 1;
            }
            target->first = strtol(ordinal, NULL, 10);
            target->everyLater = strchr(ordinal, '+') != NULL;
            if (strchr(ordinal, '~') != NULL) {
                target->lastsMs = strtoul(strchr(ordinal, '~') + 1, NULL, 10);
            }
        }
        strncpy(target->name, item, sizeof(target->name) - 1);
    }
}

static struct Target* requestedTarget(const char* name) {
    int i;
    armRequestedFailures();
    for (i = 0; i < targetCount; ++i) {
        if (strcmp(targets[i].name, name) == 0) {
            return &targets[i];
        }
    }
    return NULL;
}

BOOL anyFailureRequested(void) {
    armRequestedFailures();
    return targetCount > 0;
}

static HRESULT requestedResult(void) {
    char text[32];
    DWORD length = GetEnvironmentVariableA("HT_FAIL_HRESULT", text, sizeof(text));
    if (length == 0 || length >= sizeof(text)) {
        return E_FAIL;
    }
    return (HRESULT)strtoul(text, NULL, 16);
}

BOOL calledByTheProgram(void* returnAddress) {
    HMODULE caller = NULL;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       (LPCWSTR)returnAddress, &caller);
    return caller != NULL && caller == GetModuleHandleW(NULL);
}

static BOOL framesStarted(void) {
    return GetEnvironmentVariableA(framesStartedVariable, NULL, 0) > 0;
}

void markFramesStarted(void* returnAddress) {
    if (calledByTheProgram(returnAddress) && !framesStarted()) {
        SetEnvironmentVariableA(framesStartedVariable, "1");
    }
}

/* Whether a target that fails for a while only, as a driver that restarts,
 * still fails; its time starts with its first failure. */
static BOOL withinOutage(struct Target* target) {
    ULONGLONG now = GetTickCount64();
    if (target->lastsMs == 0) {
        return TRUE;
    }
    if (target->failingSince == 0) {
        target->failingSince = now;
    }
    return now - target->failingSince < target->lastsMs;
}

BOOL failThisCall(const char* name, void* returnAddress, HRESULT* result) {
    struct Target* target = requestedTarget(name);
    LONG call;
    if (target == NULL || !calledByTheProgram(returnAddress) ||
        (target->inFrames && !framesStarted())) {
        return FALSE;
    }
    call = InterlockedIncrement(&target->calls);
    if ((call == target->first || (target->everyLater && call > target->first)) &&
        withinOutage(target)) {
        *result = requestedResult();
        return TRUE;
    }
    return FALSE;
}

/* Each patched slot gets a thunk of its own, which asks decideCall whether
 * this call fails and then either returns the injected result or jumps to
 * the original method with every argument register as it found it. */
__attribute__((used)) static void* thunkOriginals[MAX_THUNKS];
static const char* thunkNames[MAX_THUNKS];
static BOOL thunkReturnsValue[MAX_THUNKS];
static void** thunkVtables[MAX_THUNKS];
static size_t thunkSlots[MAX_THUNKS];
static int thunkCount;

/* HT_FAIL_HRESULT in full: wider than 32 bits for a method that returns a
 * 64-bit value (FFFFFFFFFFFFFFFF, a removed device's fence value). */
static unsigned long long requestedValue(void) {
    char text[32];
    DWORD length = GetEnvironmentVariableA("HT_FAIL_HRESULT", text, sizeof(text));
    if (length == 0 || length >= sizeof(text)) {
        return 0;
    }
    return strtoull(text, NULL, 16);
}

/* What a failing call returns, with the top bit set: the HRESULT in the low
 * 32 bits, or a wider value (whose top bit is set) whole. */
static long long failingReturn(unsigned long long value) {
    return (long long)(0x8000000000000000ULL | value);
}

/* Negative: fail, returning failingReturn's value; otherwise forward. A loss
 * delivered on request marks the object's device lost, and from then on the
 * program's calls on it fail as on Windows. */
__attribute__((used)) static long long decideCall(int index, void* returnAddress,
                                                  IUnknown* object) {
    HRESULT result;
    unsigned long long value;
    if (failThisCall(thunkNames[index], returnAddress, &result)) {
        value = requestedValue();
        if (value == ~0ULL || isLossCode(result)) {
            noteLossDelivered(object, value == ~0ULL ? DXGI_ERROR_DEVICE_REMOVED : result);
        }
        return failingReturn(value > 0xFFFFFFFFULL ? value : (unsigned long)result);
    }
    if (calledByTheProgram(returnAddress) && deviceWasLost(object, &result)) {
        return failingReturn(thunkReturnsValue[index] ? ~0ULL : (unsigned long)result);
    }
    return 0;
}

/* X64 only. The four argument registers and xmm0-3 are saved around
 * the call of decideCall (with its shadow space, the stack 16-aligned), so
 * forwarding works for any method whatever its parameters; the object
 * (this, in rcx) is decideCall's third argument. */
#define DEFINE_THUNK(index)                                                                        \
    __attribute__((naked)) static void thunk##index(void) {                                        \
        __asm__("push %rcx\n\tpush %rdx\n\tpush %r8\n\tpush %r9\n\t"                               \
                "sub $0x68, %rsp\n\t"                                                              \
                "movdqu %xmm0, 0x20(%rsp)\n\tmovdqu %xmm1, 0x30(%rsp)\n\t"                         \
                "movdqu %xmm2, 0x40(%rsp)\n\tmovdqu %xmm3, 0x50(%rsp)\n\t"                         \
                "mov %rcx, %r8\n\t"                                                                \
                "mov $" #index ", %ecx\n\t"                                                        \
                "mov 0x88(%rsp), %rdx\n\t"                                                         \
                "call decideCall\n\t"                                                              \
                "movdqu 0x20(%rsp), %xmm0\n\tmovdqu 0x30(%rsp), %xmm1\n\t"                         \
                "movdqu 0x40(%rsp), %xmm2\n\tmovdqu 0x50(%rsp), %xmm3\n\t"                         \
                "add $0x68, %rsp\n\t"                                                              \
                "pop %r9\n\tpop %r8\n\tpop %rdx\n\tpop %rcx\n\t"                                   \
                "test %rax, %rax\n\t"                                                              \
                "js 1f\n\t"                                                                        \
                "jmp *thunkOriginals+8*" #index "(%rip)\n"                                         \
                "1:\n\tret\n\t");                                                                  \
    }

DEFINE_THUNK(0)
DEFINE_THUNK(1)
DEFINE_THUNK(2)
DEFINE_THUNK(3)
DEFINE_THUNK(4)
DEFINE_THUNK(5)
DEFINE_THUNK(6)
DEFINE_THUNK(7)
DEFINE_THUNK(8)
DEFINE_THUNK(9)
DEFINE_THUNK(10)
DEFINE_THUNK(11)
DEFINE_THUNK(12)
DEFINE_THUNK(13)
DEFINE_THUNK(14)
DEFINE_THUNK(15)

static void (*const thunks[MAX_THUNKS])(void) = {
    thunk0, thunk1, thunk2,  thunk3,  thunk4,  thunk5,  thunk6,  thunk7,
    thunk8, thunk9, thunk10, thunk11, thunk12, thunk13, thunk14, thunk15,
};

void writeFunctionSlot(void** vtable, size_t slot, void* function) {
    DWORD oldProtection;
    if (VirtualProtect(&vtable[slot], sizeof(void*), PAGE_READWRITE, &oldProtection)) {
        vtable[slot] = function;
        VirtualProtect(&vtable[slot], sizeof(void*), oldProtection, &oldProtection);
    }
}

static BOOL alreadyPatched(void** vtable, size_t slot) {
    int i;
    for (i = 0; i < thunkCount; ++i) {
        if (thunkVtables[i] == vtable && thunkSlots[i] == slot) {
            return TRUE;
        }
    }
    return FALSE;
}

void patchMethods(void* object, const struct MethodSlot* methods, size_t count) {
    void** vtable = *(void***)object;
    size_t i;
    if (!anyFailureRequested()) {
        return;
    }
    for (i = 0; i < count && thunkCount < MAX_THUNKS; ++i) {
        if (alreadyPatched(vtable, methods[i].slot)) {
            continue;
        }
        thunkOriginals[thunkCount] = vtable[methods[i].slot];
        thunkNames[thunkCount] = methods[i].name;
        thunkReturnsValue[thunkCount] = methods[i].returnsValue;
        thunkVtables[thunkCount] = vtable;
        thunkSlots[thunkCount] = methods[i].slot;
        writeFunctionSlot(vtable, methods[i].slot, (void*)thunks[thunkCount]);
        ++thunkCount;
    }
}

void* systemFunction(const char* module, const char* name) {
    char path[MAX_PATH];
    HMODULE loaded;
    UINT length = GetSystemDirectoryA(path, MAX_PATH);
    if (length == 0 || length + 1 + strlen(module) + 1 > MAX_PATH) {
        return NULL;
    }
    path[length] = '\\';
    strcpy(path + length + 1, module);
    loaded = LoadLibraryA(path);
    return loaded != NULL ? (void*)GetProcAddress(loaded, name) : NULL;
}
