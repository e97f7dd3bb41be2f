#include "renderer/device_loss.h"

bool isDeviceLost(std::int32_t hresult) {
    return hresult == deviceRemovedResult || hresult == deviceHungResult ||
           hresult == deviceResetResult;
}
