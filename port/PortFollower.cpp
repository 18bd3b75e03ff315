#include "port/PortFollower.h"

#include <algorithm>

namespace zemrik {

PortStep PortFollower::Start(const std::string& rememberedPath, int comNumber, const std::string& comPath) {
    if (rememberedPath.empty()) {
        return comNumber > 0 ? Follow(comNumber, false, comPath, comPath, true, false) : PortStep{};
    }
    if (const SerialPortInfo* port = Listed(rememberedPath)) {
        return Follow(0, true, rememberedPath, port->node, true, false);
    }
    if (monitor_.PathPresent(rememberedPath))
        return Follow(0, true, rememberedPath, rememberedPath, true, false);
    // Not plugged in yet: not an error, the device is opened when it comes, and it is the choice.
    Follow(0, true, rememberedPath, rememberedPath, false, false);
    phase_ = Phase::Waiting;
    markDevice_ = rememberedPath;
    return {};
}

PortStep PortFollower::ChooseCom(int comNumber, const std::string& path) {
    return Follow(comNumber, false, path, path, true, comNumber > 0);
}

PortStep PortFollower::ChooseDevice(std::size_t index) {
    if (index >= Devices().size()) return {};
    const SerialPortInfo port = Devices()[index];
    return Follow(0, true, port.stablePath, port.node, true, true);
}

PortStep PortFollower::Opened(bool ok) {
    if (phase_ != Phase::Opening) return {};
    // A reopen that fails (the device went again, or another program took it first) goes on
    // waiting instead of asking the user.
    phase_ = ok ? Phase::Open : automatic_ ? Phase::Waiting : Phase::Failed;
    PortStep step;
    if (!ok || automatic_) return step;
    // The mark moves only to a port that opened; a path from the command line or a COM number
    // the menu does not offer leaves it where it was.
    if (device_) {
        markDevice_ = followPath_;
    } else if (comNumber_ == 1 || comNumber_ == 2) {
        markDevice_.clear();
        markCom_ = comNumber_;
    }
    if (chosen_) step.remember = device_ ? followPath_ : std::string();
    return step;
}

PortStep PortFollower::PortGone() {
    if (phase_ != Phase::Open && phase_ != Phase::Opening) return {};
    return Lose();
}

PortStep PortFollower::MonitorReadable() { return Apply(monitor_.ReadEvents()); }

PortStep PortFollower::MenuOpening() { return Apply(monitor_.Rescan()); }

std::optional<std::size_t> PortFollower::CheckedDevice() const {
    const SerialPortInfo* port = markDevice_.empty() ? nullptr : Listed(markDevice_);
    if (port == nullptr) return std::nullopt;
    return static_cast<std::size_t>(port - Devices().data());
}

std::string PortFollower::StatusText() const {
    switch (phase_) {
        case Phase::NotChosen:
            return "Порт не выбран";
        case Phase::Opening:
            return Label();
        case Phase::Open:
            return (automatic_ ? "Прибор подключен: " : "") + Label() + ", 28800 бит/с";
        case Phase::Failed:
            return "Порт не открыт: " + Label();
        case Phase::Waiting:
            break;
    }
    return "Прибор отключен — ожидание подключения";
}

std::string PortFollower::TakeNotice() {
    if (noticeTaken_) return {};
    noticeTaken_ = true;
    return monitor_.Notice();
}

PortStep PortFollower::Follow(int comNumber, bool device, std::string followPath, std::string openPath,
                              bool reportFailure, bool chosen) {
    comNumber_ = comNumber;
    device_ = device;
    followPath_ = std::move(followPath);
    automatic_ = false;
    chosen_ = chosen;
    phase_ = Phase::Opening;
    monitor_.WatchPath(followPath_);
    PortStep step;
    step.action = PortStep::Action::Open;
    step.path = std::move(openPath);
    step.reportFailure = reportFailure;
    return step;
}

PortStep PortFollower::Apply(const std::vector<PortEvent>& events) {
    PortStep merged;
    for (const PortEvent& event : events) {
        PortStep step = OnEvent(event);
        merged.listChanged = merged.listChanged || step.listChanged;
        // The last word counts: an Open closes what is open first, a Close after an Open not yet
        // carried out leaves the port closed.
        if (step.action != PortStep::Action::None) {
            merged.action = step.action;
            merged.path = step.path;
            merged.reportFailure = step.reportFailure;
        }
    }
    return merged;
}

PortStep PortFollower::OnEvent(const PortEvent& event) {
    PortStep step;
    const bool ours = event.port.stablePath == followPath_ || event.port.node == followPath_;
    switch (event.kind) {
        case PortEvent::Kind::Removed:
            if (ours && (phase_ == Phase::Open || phase_ == Phase::Opening)) step = Lose();
            step.listChanged = true;
            return step;
        case PortEvent::Kind::Added:
            if (ours && phase_ == Phase::Waiting) {
                step.action = PortStep::Action::Open;
                step.path = event.port.node;
            }
            step.listChanged = true;
            break;
        case PortEvent::Kind::PathAppeared:
            if (event.path == followPath_ && phase_ == Phase::Waiting && monitor_.PathPresent(followPath_)) {
                step.action = PortStep::Action::Open;
                step.path = followPath_;
            }
            break;
    }
    if (step.action == PortStep::Action::Open) {
        phase_ = Phase::Opening;
        automatic_ = true;
    }
    return step;
}

PortStep PortFollower::Lose() {
    phase_ = Phase::Waiting;
    automatic_ = false;
    PortStep step;
    step.action = PortStep::Action::Close;
    return step;
}

const SerialPortInfo* PortFollower::Listed(const std::string& path) const {
    const auto& ports = Devices();
    auto found = std::find_if(ports.begin(), ports.end(), [&](const SerialPortInfo& port) {
        return port.stablePath == path || port.node == path;
    });
    return found == ports.end() ? nullptr : &*found;
}

std::string PortFollower::Label() const {
    const SerialPortInfo* port = Listed(followPath_);
    const std::string what = port != nullptr ? port->MenuText() : followPath_;
    return comNumber_ > 0 ? "COM" + std::to_string(comNumber_) + ": " + what : what;
}

}  // namespace zemrik
