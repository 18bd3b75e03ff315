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

std::string PortOpenReason(DeviceError error, std::string_view path) {
    const std::string device = path.empty() ? std::string("порт") : "порт " + std::string(path);
    switch (error) {
        case DeviceError::NotFound:
            return "Устройство " + std::string(path) + " не найдено.";
        case DeviceError::Permission:
            return "Нет доступа к " + std::string(path) +
                   ". Добавьте пользователя в группу dialout (sudo usermod -aG dialout $USER) и войдите в "
                   "систему заново.";
        case DeviceError::Busy:
            return "Устройство " + std::string(path) + " занято другой программой.";
        case DeviceError::Gone:
            return "Устройство " + std::string(path) + " отключено.";
        case DeviceError::None:
        case DeviceError::Other:
            break;
    }
    return "Не удалось открыть " + device + ".";
}

}  // namespace zemrik
