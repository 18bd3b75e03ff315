#include "link/SerialDevice.h"

namespace zemrik {

const char* DeviceErrorText(DeviceError error) {
    switch (error) {
        case DeviceError::None:
            return "no error";
        case DeviceError::NotFound:
            return "no such device";
        case DeviceError::Permission:
            return "permission denied";
        case DeviceError::Busy:
            return "device in use";
        case DeviceError::Gone:
            return "device gone";
        case DeviceError::Other:
            break;
    }
    return "device error";
}

}  // namespace zemrik
