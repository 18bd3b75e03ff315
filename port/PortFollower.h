#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "port/PortMonitor.h"
#include "port/SerialPortInfo.h"

// Which serial device the program holds, and what to do when devices come and go: the window's
// "COM порт" menu and status line, without Qt. The window forwards what happens (start, the
// user's choice, the monitor's descriptor turning readable, the menu opening, the port reporting
// its device gone), carries out the step it gets back (open or close the port, store the choice)
// and repaints from Devices(), the checked item and StatusText().
//
// A device is followed by its stable path: when the open one goes away the port is closed and
// the follower waits; when a device with the same stable path (or the same path, for a COM item
// or --port) comes back, it asks to open it again without a question.
//
// Threading contract: the thread that owns the monitor calls everything.
namespace zemrik {

// What the window does next.
struct PortStep {
    enum class Action { None, Open, Close };
    Action action = Action::None;
    // Open: the device to open at 28800 bit/s, closing any open one first; then call Opened.
    std::string path;
    // Open: show the usual error box if it fails (the user chose the port, or the program starts).
    bool reportFailure = false;
    // Set by Opened once a chosen port has opened: the stable path to keep in the settings, ""
    // to clear it (a COM item); nullopt leaves the settings alone.
    std::optional<std::string> remember;
    // The devices of the menu changed.
    bool listChanged = false;
};

class PortFollower {
public:
    explicit PortFollower(PortMonitor& monitor) : monitor_(monitor) {}

    // At start: a remembered device wins over COM `comNumber` (0: none) on `comPath`. A
    // remembered device that is absent is waited for, not an error.
    PortStep Start(const std::string& rememberedPath, int comNumber, const std::string& comPath);
    // A COM item ("1", "2") or, with `comNumber` 0, a path given on the command line. A COM item
    // that opens clears the remembered device.
    PortStep ChooseCom(int comNumber, const std::string& path);
    // A device of the menu, by its index in Devices(); remembered by its stable path once open.
    PortStep ChooseDevice(std::size_t index);
    // The outcome of the Open the last step asked for; carries what to remember.
    PortStep Opened(bool ok);
    // The port found its device gone (read or write failed with the device vanished).
    PortStep PortGone();
    // The monitor's descriptor is readable.
    PortStep MonitorReadable();
    // The menu is about to show: list again, for where no events come.
    PortStep MenuOpening();

    const std::vector<SerialPortInfo>& Devices() const { return monitor_.Ports(); }
    // The menu item to check: the last choice that opened, as a COM item's mark has always moved
    // ("1" before any), or the remembered device while it is waited for. A device (index into
    // Devices(), none while it is not listed) or COM 1 or 2 (0: no COM item).
    std::optional<std::size_t> CheckedDevice() const;
    int CheckedCom() const { return markDevice_.empty() && (markCom_ == 1 || markCom_ == 2) ? markCom_ : 0; }
    // The commands that need the instrument are enabled only while this holds.
    bool IsOpen() const { return phase_ == Phase::Open; }
    std::string StatusText() const;
    // The monitor's notice (udev absent), the first time only; empty after.
    std::string TakeNotice();

private:
    enum class Phase { NotChosen, Opening, Open, Failed, Waiting };

    PortStep Follow(int comNumber, bool device, std::string followPath, std::string openPath,
                    bool reportFailure, bool chosen);
    PortStep Apply(const std::vector<PortEvent>& events);
    PortStep OnEvent(const PortEvent& event);
    PortStep Lose();
    const SerialPortInfo* Listed(const std::string& path) const;  // by stable path or node
    std::string Label() const;

    PortMonitor& monitor_;
    Phase phase_ = Phase::NotChosen;
    int comNumber_ = 0;       // the COM item chosen; 0 for a device or a command-line path
    bool device_ = false;     // a device of the menu, followed by its stable path
    std::string followPath_;  // what must come back after the device went away
    bool automatic_ = false;  // the open under way, or the open port, came without the user
    bool chosen_ = false;     // the open under way is the user's choice from the menu
    int markCom_ = 1;         // the COM item checked while no device is
    std::string markDevice_;  // the stable path of the device checked
    bool noticeTaken_ = false;
};

}  // namespace zemrik
