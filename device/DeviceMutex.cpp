#include "device/DeviceMutex.h"

std::recursive_timed_mutex &DeviceMutex()
{
    static std::recursive_timed_mutex mutex;
    return mutex;
}
