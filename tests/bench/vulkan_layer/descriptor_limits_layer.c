/* A test-only Vulkan layer for the bench: it lowers the descriptor limits that
 * the CPU Vulkan driver reports to what a GPU driver reports.
 *
 * The CPU driver reports 1,000,000 for every descriptor limit, and Wine's
 * Direct3D 12 sizes the descriptor sets behind each shader-visible heap by
 * those limits: one heap of a single descriptor then takes seconds and
 * hundreds of MB. A GPU has no such cost. Clamped to LIMIT, the same heap
 * takes milliseconds, and every heap the program makes (a handful of
 * descriptors) still fits with room to spare.
 *
 * Built for the host, not for Windows: the Vulkan loader that Wine uses is the
 * host's. The layer is an implicit one, which that loader finds through its
 * manifest under XDG_DATA_DIRS and switches on while HT_BENCH_DESCRIPTOR_LIMITS
 * is 1 (the bench's launcher sets both).
 *
 * With HT_BENCH_KNOWN_VALIDATION_ERROR=1 it also makes one call that breaks a
 * known rule of the Vulkan API on each device made (a buffer with no usage),
 * below the program and above the validation layer, so that a test can prove
 * it sees what that layer reports. */
#include <vulkan/vk_layer.h>

#include <pthread.h>
#include <stdlib.h>
#include <string.h>

#define LIMIT 4096u
#define EXPORT __attribute__((visibility("default")))

/* A list of what the layer knows per instance or per device, keyed by the
 * handle's dispatch key. Each record starts with its link. */
struct link {
    void* key;
    struct link* next;
};

/* The next layer's (or the driver's) functions, per instance or device. */
struct instance_link {
    struct link link;
    VkInstance instance;
    PFN_vkGetInstanceProcAddr next_get_proc;
    PFN_vkDestroyInstance destroy;
    PFN_vkGetPhysicalDeviceProperties properties;
    PFN_vkGetPhysicalDeviceProperties2 properties2;
    PFN_vkGetPhysicalDeviceProperties2 properties2_khr;
};

struct device_link {
    struct link link;
    PFN_vkGetDeviceProcAddr next_get_proc;
    PFN_vkDestroyDevice destroy;
};

static pthread_mutex_t links_lock = PTHREAD_MUTEX_INITIALIZER;
static struct link* instances;
static struct link* devices;

/* Dispatchable handles start with the loader's dispatch table pointer; a
 * physical device shares its instance's. */
static void* dispatch_key(const void* handle) {
    return *(void* const*)handle;
}

/* The record of the handle, or null; taken out of the list when asked. */
static struct link* find_link(struct link** list, const void* handle, int take) {
    pthread_mutex_lock(&links_lock);
    struct link** slot = list;
    while (*slot != NULL && (*slot)->key != dispatch_key(handle)) {
        slot = &(*slot)->next;
    }
    struct link* found = *slot;
    if (found != NULL && take) {
        *slot = found->next;
    }
    pthread_mutex_unlock(&links_lock);
    return found;
}

static void add_link(struct link** list, struct link* entry, const void* handle) {
    entry->key = dispatch_key(handle);
    pthread_mutex_lock(&links_lock);
    entry->next = *list;
    *list = entry;
    pthread_mutex_unlock(&links_lock);
}

static struct instance_link* find_instance(const void* handle) {
    return (struct instance_link*)find_link(&instances, handle, 0);
}

static struct device_link* find_device(const void* handle) {
    return (struct device_link*)find_link(&devices, handle, 0);
}

static void lower(uint32_t* value) {
    if (*value > LIMIT) {
        *value = LIMIT;
    }
}

static void lower_core_limits(VkPhysicalDeviceLimits* limits) {
    uint32_t* fields[] = {
        &limits->maxPerStageDescriptorSamplers,
        &limits->maxPerStageDescriptorUniformBuffers,
        &limits->maxPerStageDescriptorStorageBuffers,
        &limits->maxPerStageDescriptorSampledImages,
        &limits->maxPerStageDescriptorStorageImages,
        &limits->maxPerStageDescriptorInputAttachments,
        &limits->maxPerStageResources,
        &limits->maxDescriptorSetSamplers,
        &limits->maxDescriptorSetUniformBuffers,
        &limits->maxDescriptorSetUniformBuffersDynamic,
        &limits->maxDescriptorSetStorageBuffers,
        &limits->maxDescriptorSetStorageBuffersDynamic,
        &limits->maxDescriptorSetSampledImages,
        &limits->maxDescriptorSetStorageImages,
        &limits->maxDescriptorSetInputAttachments,
    };
    for (size_t i = 0; i < sizeof fields / sizeof fields[0]; ++i) {
        lower(fields[i]);
    }
}

/* The update-after-bind limits appear in two structures with the same
 * members; the macro lowers them in either. */
#define LOWER_UPDATE_AFTER_BIND_LIMITS(p)                                                          \
    do {                                                                                           \
        lower(&(p)->maxPerStageDescriptorUpdateAfterBindSamplers);                                 \
        lower(&(p)->maxPerStageDescriptorUpdateAfterBindUniformBuffers);                           \
        lower(&(p)->maxPerStageDescriptorUpdateAfterBindStorageBuffers);                           \
        lower(&(p)->maxPerStageDescriptorUpdateAfterBindSampledImages);                            \
        lower(&(p)->maxPerStageDescriptorUpdateAfterBindStorageImages);                            \
        lower(&(p)->maxPerStageDescriptorUpdateAfterBindInputAttachments);                         \
        lower(&(p)->maxPerStageUpdateAfterBindResources);                                          \
        lower(&(p)->maxDescriptorSetUpdateAfterBindSamplers);                                      \
        lower(&(p)->maxDescriptorSetUpdateAfterBindUniformBuffers);                                \
        lower(&(p)->maxDescriptorSetUpdateAfterBindUniformBuffersDynamic);                         \
        lower(&(p)->maxDescriptorSetUpdateAfterBindStorageBuffers);                                \
        lower(&(p)->maxDescriptorSetUpdateAfterBindStorageBuffersDynamic);                         \
        lower(&(p)->maxDescriptorSetUpdateAfterBindSampledImages);                                 \
        lower(&(p)->maxDescriptorSetUpdateAfterBindStorageImages);                                 \
        lower(&(p)->maxDescriptorSetUpdateAfterBindInputAttachments);                              \
    } while (0)

static void lower_chained_limits(void* chain) {
    for (VkBaseOutStructure* item = chain; item != NULL; item = item->pNext) {
        if (item->sType == VK_STRUCTURE_TYPE_PHYSICAL_DEVICE_DESCRIPTOR_INDEXING_PROPERTIES) {
            LOWER_UPDATE_AFTER_BIND_LIMITS((VkPhysicalDeviceDescriptorIndexingProperties*)item);
        } else if (item->sType == VK_STRUCTURE_TYPE_PHYSICAL_DEVICE_VULKAN_1_2_PROPERTIES) {
            LOWER_UPDATE_AFTER_BIND_LIMITS((VkPhysicalDeviceVulkan12Properties*)item);
        } else if (item->sType == VK_STRUCTURE_TYPE_PHYSICAL_DEVICE_MAINTENANCE_3_PROPERTIES) {
            lower(&((VkPhysicalDeviceMaintenance3Properties*)item)->maxPerSetDescriptors);
        }
    }
}

static VKAPI_ATTR void VKAPI_CALL get_properties(VkPhysicalDevice device,
                                                 VkPhysicalDeviceProperties* properties) {
    find_instance(device)->properties(device, properties);
    lower_core_limits(&properties->limits);
}

static VKAPI_ATTR void VKAPI_CALL get_properties2(VkPhysicalDevice device,
                                                  VkPhysicalDeviceProperties2* properties) {
    find_instance(device)->properties2(device, properties);
    lower_core_limits(&properties->properties.limits);
    lower_chained_limits(properties->pNext);
}

static VKAPI_ATTR void VKAPI_CALL get_properties2_khr(VkPhysicalDevice device,
                                                      VkPhysicalDeviceProperties2* properties) {
    find_instance(device)->properties2_khr(device, properties);
    lower_core_limits(&properties->properties.limits);
    lower_chained_limits(properties->pNext);
}

/* The loader's link to the next layer, found in the creation chain. */
static const void* layer_link(const void* chain, VkStructureType type) {
    for (const VkLayerInstanceCreateInfo* item = chain; item != NULL; item = item->pNext) {
        if (item->sType == type && item->function == VK_LAYER_LINK_INFO) {
            return item;
        }
    }
    return NULL;
}

static VKAPI_ATTR VkResult VKAPI_CALL create_instance(const VkInstanceCreateInfo* info,
                                                      const VkAllocationCallbacks* allocator,
                                                      VkInstance* instance) {
    VkLayerInstanceCreateInfo* link = (VkLayerInstanceCreateInfo*)layer_link(
        info->pNext, VK_STRUCTURE_TYPE_LOADER_INSTANCE_CREATE_INFO);
    if (link == NULL) {
        return VK_ERROR_INITIALIZATION_FAILED;
    }
    PFN_vkGetInstanceProcAddr next = link->u.pLayerInfo->pfnNextGetInstanceProcAddr;
    link->u.pLayerInfo = link->u.pLayerInfo->pNext;
    PFN_vkCreateInstance create = (PFN_vkCreateInstance)next(VK_NULL_HANDLE, "vkCreateInstance");
    struct instance_link* entry = calloc(1, sizeof *entry);
    if (create == NULL || entry == NULL) {
        free(entry);
        return VK_ERROR_INITIALIZATION_FAILED;
    }
    VkResult result = create(info, allocator, instance);
    if (result != VK_SUCCESS) {
        free(entry);
        return result;
    }
    entry->instance = *instance;
    entry->next_get_proc = next;
    entry->destroy = (PFN_vkDestroyInstance)next(*instance, "vkDestroyInstance");
    entry->properties =
        (PFN_vkGetPhysicalDeviceProperties)next(*instance, "vkGetPhysicalDeviceProperties");
    entry->properties2 =
        (PFN_vkGetPhysicalDeviceProperties2)next(*instance, "vkGetPhysicalDeviceProperties2");
    entry->properties2_khr =
        (PFN_vkGetPhysicalDeviceProperties2)next(*instance, "vkGetPhysicalDeviceProperties2KHR");
    add_link(&instances, &entry->link, *instance);
    return VK_SUCCESS;
}

static VKAPI_ATTR void VKAPI_CALL destroy_instance(VkInstance instance,
                                                   const VkAllocationCallbacks* allocator) {
    if (instance == VK_NULL_HANDLE) {
        return;
    }
    struct instance_link* entry = (struct instance_link*)find_link(&instances, instance, 1);
    if (entry != NULL) {
        entry->destroy(instance, allocator);
        free(entry);
    }
}

/* A buffer with no usage flags (VUID-VkBufferCreateInfo-usage-requiredbitmask);
 * a driver needs none to make a buffer of one byte. */
static void break_a_known_rule(VkDevice device, PFN_vkGetDeviceProcAddr next) {
    PFN_vkCreateBuffer create = (PFN_vkCreateBuffer)next(device, "vkCreateBuffer");
    PFN_vkDestroyBuffer destroy = (PFN_vkDestroyBuffer)next(device, "vkDestroyBuffer");
    VkBufferCreateInfo info;
    memset(&info, 0, sizeof info);
    info.sType = VK_STRUCTURE_TYPE_BUFFER_CREATE_INFO;
    info.size = 1;
    info.sharingMode = VK_SHARING_MODE_EXCLUSIVE; /* usage left 0 */
    VkBuffer buffer = VK_NULL_HANDLE;
    if (create != NULL && destroy != NULL && create(device, &info, NULL, &buffer) == VK_SUCCESS) {
        destroy(device, buffer, NULL);
    }
}

static VKAPI_ATTR VkResult VKAPI_CALL create_device(VkPhysicalDevice physical_device,
                                                    const VkDeviceCreateInfo* info,
                                                    const VkAllocationCallbacks* allocator,
                                                    VkDevice* device) {
    VkLayerDeviceCreateInfo* link = (VkLayerDeviceCreateInfo*)layer_link(
        info->pNext, VK_STRUCTURE_TYPE_LOADER_DEVICE_CREATE_INFO);
    struct instance_link* owner = find_instance(physical_device);
    if (link == NULL || owner == NULL) {
        return VK_ERROR_INITIALIZATION_FAILED;
    }
    PFN_vkGetInstanceProcAddr next_instance_proc = link->u.pLayerInfo->pfnNextGetInstanceProcAddr;
    PFN_vkGetDeviceProcAddr next_device_proc = link->u.pLayerInfo->pfnNextGetDeviceProcAddr;
    link->u.pLayerInfo = link->u.pLayerInfo->pNext;
    PFN_vkCreateDevice create =
        (PFN_vkCreateDevice)next_instance_proc(owner->instance, "vkCreateDevice");
    struct device_link* entry = calloc(1, sizeof *entry);
    if (create == NULL || entry == NULL) {
        free(entry);
        return VK_ERROR_INITIALIZATION_FAILED;
    }
    VkResult result = create(physical_device, info, allocator, device);
    if (result != VK_SUCCESS) {
        free(entry);
        return result;
    }
    entry->next_get_proc = next_device_proc;
    entry->destroy = (PFN_vkDestroyDevice)next_device_proc(*device, "vkDestroyDevice");
    add_link(&devices, &entry->link, *device);
    const char* known_error = getenv("HT_BENCH_KNOWN_VALIDATION_ERROR");
    if (known_error != NULL && strcmp(known_error, "1") == 0) {
        break_a_known_rule(*device, next_device_proc);
    }
    return VK_SUCCESS;
}

static VKAPI_ATTR void VKAPI_CALL destroy_device(VkDevice device,
                                                 const VkAllocationCallbacks* allocator) {
    if (device == VK_NULL_HANDLE) {
        return;
    }
    struct device_link* entry = (struct device_link*)find_link(&devices, device, 1);
    if (entry != NULL) {
        entry->destroy(device, allocator);
        free(entry);
    }
}

EXPORT VKAPI_ATTR PFN_vkVoidFunction VKAPI_CALL vkGetDeviceProcAddr(VkDevice device,
                                                                    const char* name) {
    if (strcmp(name, "vkGetDeviceProcAddr") == 0) {
        return (PFN_vkVoidFunction)vkGetDeviceProcAddr;
    }
    if (strcmp(name, "vkDestroyDevice") == 0) {
        return (PFN_vkVoidFunction)destroy_device;
    }
    struct device_link* link = find_device(device);
    return link != NULL ? link->next_get_proc(device, name) : NULL;
}

EXPORT VKAPI_ATTR PFN_vkVoidFunction VKAPI_CALL vkGetInstanceProcAddr(VkInstance instance,
                                                                      const char* name) {
    static const struct {
        const char* name;
        PFN_vkVoidFunction function;
    } own[] = {
        {"vkGetInstanceProcAddr", (PFN_vkVoidFunction)vkGetInstanceProcAddr},
        {"vkCreateInstance", (PFN_vkVoidFunction)create_instance},
        {"vkDestroyInstance", (PFN_vkVoidFunction)destroy_instance},
        {"vkCreateDevice", (PFN_vkVoidFunction)create_device},
        {"vkGetDeviceProcAddr", (PFN_vkVoidFunction)vkGetDeviceProcAddr},
        {"vkDestroyDevice", (PFN_vkVoidFunction)destroy_device},
        {"vkGetPhysicalDeviceProperties", (PFN_vkVoidFunction)get_properties},
    };
    for (size_t i = 0; i < sizeof own / sizeof own[0]; ++i) {
        if (strcmp(name, own[i].name) == 0) {
            return own[i].function;
        }
    }
    if (instance == VK_NULL_HANDLE) {
        return NULL;
    }
    struct instance_link* link = find_instance(instance);
    if (link == NULL) {
        return NULL;
    }
    /* Offered only where the next layer offers it, or a caller would get a
     * function that has nothing to forward to. */
    if (strcmp(name, "vkGetPhysicalDeviceProperties2") == 0) {
        return link->properties2 != NULL ? (PFN_vkVoidFunction)get_properties2 : NULL;
    }
    if (strcmp(name, "vkGetPhysicalDeviceProperties2KHR") == 0) {
        return link->properties2_khr != NULL ? (PFN_vkVoidFunction)get_properties2_khr : NULL;
    }
    return link->next_get_proc(instance, name);
}
