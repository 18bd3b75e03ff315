#pragma once

#include <libudev.h>

#include <memory>

#include "port/SerialPortInfo.h"

// libudev handles with their owners, shared by the listing and the monitor (port/ only).
namespace zemrik::udev {

struct Unref {
    void operator()(struct udev* p) const { udev_unref(p); }
    void operator()(udev_device* p) const { udev_device_unref(p); }
    void operator()(udev_enumerate* p) const { udev_enumerate_unref(p); }
    void operator()(udev_monitor* p) const { udev_monitor_unref(p); }
};
using Context = std::unique_ptr<struct udev, Unref>;
using Device = std::unique_ptr<udev_device, Unref>;
using Enumerate = std::unique_ptr<udev_enumerate, Unref>;
using Monitor = std::unique_ptr<udev_monitor, Unref>;

// The device's udev properties with SYSFS_TYPE and SYSFS_DRIVER added.
PortProperties PropertiesOf(udev_device* device);

// A tty backed by hardware: it has a parent device (virtual consoles and ptmx have none).
bool HasParent(udev_device* device);

}  // namespace zemrik::udev
