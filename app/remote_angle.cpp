#include "app/remote_angle.h"

std::atomic<float> remoteAngle{0.0f};
