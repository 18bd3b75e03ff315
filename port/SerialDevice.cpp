#include "port/SerialDevice.h"

namespace zemrik {

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
