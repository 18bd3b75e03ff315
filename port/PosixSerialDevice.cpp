#include "port/PosixSerialDevice.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "port/CommPort.h"

namespace zemrik {

namespace {

void Ring(int eventFd) {
    std::uint64_t one = 1;
    // A full counter already means "rung"; nothing to do about a failure here.
    [[maybe_unused]] auto written = ::write(eventFd, &one, sizeof one);
}

void Drain(int eventFd) {
    std::uint64_t count = 0;
    [[maybe_unused]] auto got = ::read(eventFd, &count, sizeof count);
}

bool NoModemLines(int err) { return err == ENOTTY || err == EINVAL; }

}  // namespace

std::unique_ptr<SerialDevice> MakeSystemSerialDevice() { return std::make_unique<PosixSerialDevice>(); }

DeviceError DeviceErrorFromErrno(int err) {
    switch (err) {
        case 0:
            return DeviceError::None;
        case ENOENT:
        case ENODEV:
        case ENOTDIR:
            return DeviceError::NotFound;
        case EACCES:
        case EPERM:
        case EROFS:
            return DeviceError::Permission;
        case EBUSY:
            return DeviceError::Busy;
        case EIO:
        case ENXIO:
            return DeviceError::Gone;
        default:
            return DeviceError::Other;
    }
}

std::uint32_t EventsFromCounters(const LineCounters& before, const LineCounters& after) {
    std::uint32_t events = 0;
    if (after.cts != before.cts) events |= EV_CTS;
    if (after.dsr != before.dsr) events |= EV_DSR;
    if (after.ring != before.ring) events |= EV_RING;
    if (after.dcd != before.dcd) events |= EV_RLSD;
    if (after.breaks != before.breaks) events |= EV_BREAK;
    if (after.errors != before.errors) events |= EV_ERR;
    return events;
}

PosixSerialDevice::PosixSerialDevice()
    : waitWakeFd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)),
      writeWakeFd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)),
      epollFd_(::epoll_create1(EPOLL_CLOEXEC)) {
    epoll_event wake{};
    wake.events = EPOLLIN;
    wake.data.fd = waitWakeFd_;
    if (epollFd_ >= 0 && waitWakeFd_ >= 0) ::epoll_ctl(epollFd_, EPOLL_CTL_ADD, waitWakeFd_, &wake);
}

PosixSerialDevice::~PosixSerialDevice() {
    Close();
    if (epollFd_ >= 0) ::close(epollFd_);
    if (waitWakeFd_ >= 0) ::close(waitWakeFd_);
    if (writeWakeFd_ >= 0) ::close(writeWakeFd_);
}

bool PosixSerialDevice::Fail(int err) {
    lastError_ = err;
    MarkGoneIf(err);
    errno = err;
    return false;
}

void PosixSerialDevice::MarkGoneIf(int err) {
    if (err == EIO || err == ENXIO || err == ENODEV) gone_ = true;
}

DeviceError PosixSerialDevice::Open(const std::string& path) {
    Close();
    lastError_ = 0;
    if (waitWakeFd_ < 0 || writeWakeFd_ < 0 || epollFd_ < 0) {
        lastError_ = EMFILE;
        return DeviceError::Other;
    }
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        lastError_ = errno;
        return DeviceErrorFromErrno(errno);
    }
    auto saved = std::make_unique<::termios>();
    LineWord savedWord;
    // Exclusive use: a second open of the tty now fails with EBUSY (except for a privileged
    // process, which the kernel lets through).
    if (::ioctl(fd, TIOCEXCL) != 0) {
        int err = errno;
        ::close(fd);
        lastError_ = err;
        return err == ENOTTY ? DeviceError::Other : DeviceErrorFromErrno(err);
    }
    if (::tcgetattr(fd, saved.get()) != 0 || !GetLineWord(fd, savedWord)) {
        int err = errno;
        ::ioctl(fd, TIOCNXCL);
        ::close(fd);
        lastError_ = err;
        return err == ENOTTY ? DeviceError::Other : DeviceErrorFromErrno(err);
    }
    ::termios raw = *saved;
    ::cfmakeraw(&raw);
    raw.c_cflag |= CLOCAL | CREAD;
    raw.c_cc[VMIN] = 0;
    raw.c_cc[VTIME] = 0;
    if (::tcsetattr(fd, TCSANOW, &raw) != 0) {
        int err = errno;
        ::ioctl(fd, TIOCNXCL);
        ::close(fd);
        lastError_ = err;
        return DeviceErrorFromErrno(err);
    }
    ::tcflush(fd, TCIOFLUSH);
    Drain(waitWakeFd_);
    Drain(writeWakeFd_);
    {
        std::lock_guard<std::mutex> guard(stateLock_);
        savedTermios_ = std::move(saved);
        savedWord_ = savedWord;
        flags_ = 0;
    }
    gone_ = false;
    writesCancelled_ = false;
    // A wait cancelled while the last open closed must not end the first wait of this one.
    cancelWait_ = false;
    txPending_ = false;
    eventMask_ = 0;
    lastLines_ = 0;
    linesKnown_ = false;
    lastCounters_ = {};
    haveCounters_ = ReadCounters(fd, lastCounters_);
    haveLines_ = ::ioctl(fd, TIOCMGET, &lastLines_) == 0 || !NoModemLines(errno);
    lastLines_ = 0;
    // Edge-triggered: a wait ends when bytes arrive, not while bytes the reader left are queued.
    epoll_event arrival{};
    arrival.events = EPOLLIN | EPOLLET;
    arrival.data.fd = fd;
    if (::epoll_ctl(epollFd_, EPOLL_CTL_ADD, fd, &arrival) != 0) {
        int err = errno;
        ::tcsetattr(fd, TCSANOW, savedTermios_.get());
        ::ioctl(fd, TIOCNXCL);
        ::close(fd);
        lastError_ = err;
        return DeviceError::Other;
    }
    unsigned int lsr = 0;
    haveLsr_ = ::ioctl(fd, TIOCSERGETLSR, &lsr) == 0;
    {
        std::lock_guard<std::mutex> guard(rxLock_);
        rxTaken_ = 0;
    }
    lastRxTotal_ = 0;
    fd_ = fd;
    return DeviceError::None;
}

void PosixSerialDevice::Close() {
    int fd = fd_.exchange(-1);
    if (fd < 0) return;
    ::epoll_ctl(epollFd_, EPOLL_CTL_DEL, fd, nullptr);
    std::lock_guard<std::mutex> guard(stateLock_);
    if (!gone_) {
        // Whatever is still queued either way goes first: a cut-short write must not leave at
        // the old speed, and close must not wait for the line to drain it.
        ::tcflush(fd, TCIOFLUSH);
        if (savedTermios_) {
            ::tcsetattr(fd, TCSANOW, savedTermios_.get());
            SetLineWord(fd, savedWord_);
        }
        ::ioctl(fd, TIOCNXCL);
    }
    savedTermios_.reset();
    ::close(fd);
}

bool PosixSerialDevice::SetQueueSizes(int /*inSize*/, int /*outSize*/) {
    // The kernel sizes a tty's queues itself.
    return fd_ >= 0;
}

bool PosixSerialDevice::SetTimeouts() {
    // VMIN = VTIME = 0 on a non-blocking descriptor already means "take what is there".
    return fd_ >= 0;
}

bool PosixSerialDevice::GetState(Dcb& dcb) {
    if (!Usable()) return Fail(gone_ ? EIO : EBADF);
    std::lock_guard<std::mutex> guard(stateLock_);
    LineWord word;
    if (!GetLineWord(fd_, word)) return Fail(errno);
    DcbFromLineWord(word, dcb);
    dcb.Flags = flags_;
    return true;
}

bool PosixSerialDevice::SetState(const Dcb& dcb) {
    if (!Usable()) return Fail(gone_ ? EIO : EBADF);
    if (dcb.ByteSize < 5 || dcb.ByteSize > 8 || dcb.Parity > 4 || dcb.StopBits > 2 || dcb.BaudRate == 0) {
        return Fail(EINVAL);
    }
    // All or nothing: settings and speed go in one call, a refused DTR change puts them back, and
    // the flags GetState reports change only with success.
    std::lock_guard<std::mutex> guard(stateLock_);
    LineWord old;
    if (!GetLineWord(fd_, old)) return Fail(errno);
    if (!SetLineWord(fd_, LineWordFromDcb(old.cflag, dcb))) return Fail(errno);
    // DTR follows the DTR-control member. A pseudo-terminal has no DTR line: that is no error.
    int dtr = TIOCM_DTR;
    bool raise = (dcb.Flags & DCB_DTR_CONTROL_MASK) == DCB_DTR_CONTROL_ENABLE;
    if (::ioctl(fd_, raise ? TIOCMBIS : TIOCMBIC, &dtr) != 0 && !NoModemLines(errno)) {
        int err = errno;
        SetLineWord(fd_, old);
        return Fail(err);
    }
    flags_ = dcb.Flags;
    return true;
}

bool PosixSerialDevice::SetEventMask(std::uint32_t mask) {
    if (fd_ < 0) return Fail(EBADF);
    eventMask_ = mask;
    if (mask == 0) CancelWait();
    return true;
}

void PosixSerialDevice::CancelWait() {
    cancelWait_ = true;
    Ring(waitWakeFd_);
}

bool PosixSerialDevice::ReadModemLines(int& lines) { return ::ioctl(fd_, TIOCMGET, &lines) == 0; }

bool PosixSerialDevice::ReadCounters(int fd, LineCounters& counters) {
    serial_icounter_struct icount{};
    if (::ioctl(fd, TIOCGICOUNT, &icount) != 0) return false;
    auto u = [](int v) { return static_cast<std::uint32_t>(v); };
    counters = {
        u(icount.cts), u(icount.dsr),
        u(icount.rng), u(icount.dcd),
        u(icount.brk), u(icount.frame) + u(icount.parity) + u(icount.overrun) + u(icount.buf_overrun)};
    return true;
}

bool PosixSerialDevice::TransmitterEmpty() {
    if (haveLsr_) {
        unsigned int lsr = 0;
        if (::ioctl(fd_, TIOCSERGETLSR, &lsr) == 0) return (lsr & TIOCSER_TEMT) != 0;
    }
    int outQueue = 0;
    return ::ioctl(fd_, TIOCOUTQ, &outQueue) == 0 && outQueue == 0;
}

bool PosixSerialDevice::WaitEvent(std::uint32_t& mask) {
    mask = 0;
    if (fd_ < 0) return Fail(EINVAL);
    if (eventMask_ == 0) {
        // The status thread may get here before the port sets its mask. Nothing failed, so the
        // error code the open sequence reports is left alone.
        errno = EINVAL;
        return false;
    }
    for (;;) {
        std::uint32_t want = eventMask_;
        if (want == 0 || cancelWait_.exchange(false)) return true;
        if (gone_) {
            // Nothing will ever come from a vanished device: sleep until someone cancels.
            pollfd cancel{waitWakeFd_, POLLIN, 0};
            if (::poll(&cancel, 1, -1) > 0) Drain(waitWakeFd_);
            continue;
        }

        std::uint32_t occurred = 0;
        // EV_RXCHAR means "bytes arrived", not "bytes are waiting": report growth of the queue
        // only, or a reader that leaves bytes queued (full buffer) would make this spin.
        int rxCount = 0;
        std::uint64_t rxTotal = 0;
        {
            std::lock_guard<std::mutex> guard(rxLock_);
            if (::ioctl(fd_, FIONREAD, &rxCount) != 0) return Fail(errno);
            rxTotal = rxTaken_ + static_cast<std::uint64_t>(rxCount);
        }
        if (rxTotal > lastRxTotal_) occurred |= EV_RXCHAR;
        lastRxTotal_ = rxTotal;

        int lines = 0;
        LineCounters counters;
        bool haveLines = false;
        if (haveCounters_) {
            if (ReadCounters(fd_, counters)) {
                occurred |= EventsFromCounters(lastCounters_, counters);
                lastCounters_ = counters;
            } else {
                MarkGoneIf(errno);
            }
        } else if (haveLines_) {
            haveLines = ReadModemLines(lines);
            if (!haveLines) {
                MarkGoneIf(errno);
            } else if (linesKnown_) {
                int changed = lines ^ lastLines_;
                if (changed & TIOCM_CTS) occurred |= EV_CTS;
                if (changed & TIOCM_DSR) occurred |= EV_DSR;
                if (changed & TIOCM_CD) occurred |= EV_RLSD;
                if (changed & TIOCM_RI) occurred |= EV_RING;
            }
            if (haveLines) {
                lastLines_ = lines;
                linesKnown_ = true;
            }
        }

        if (txPending_ && TransmitterEmpty()) {
            txPending_ = false;
            occurred |= EV_TXEMPTY;
        }

        occurred &= want;
        if (occurred != 0) {
            mask = occurred;
            return true;
        }

        // Counters, modem lines and the draining transmitter can only be looked at.
        const int timeout = (haveCounters_ || haveLines || txPending_) ? kModemPollMs : -1;
        epoll_event ready[2] = {};
        const int count = ::epoll_wait(epollFd_, ready, 2, timeout);
        if (count < 0) {
            if (errno == EINTR) continue;
            return Fail(errno);
        }
        for (int i = 0; i < count; ++i) {
            if (ready[i].data.fd == waitWakeFd_) {
                Drain(waitWakeFd_);
            } else if (ready[i].events & (EPOLLHUP | EPOLLERR)) {
                // Said once, so the port learns it; later waits sleep until cancelled.
                gone_ = true;
                return Fail(EIO);
            }
        }
    }
}

bool PosixSerialDevice::QueueCounts(int& inQueue, int& outQueue) {
    inQueue = outQueue = 0;
    if (!Usable()) return Fail(gone_ ? EIO : EBADF);
    if (::ioctl(fd_, FIONREAD, &inQueue) != 0 || ::ioctl(fd_, TIOCOUTQ, &outQueue) != 0) {
        inQueue = outQueue = 0;
        return Fail(errno);
    }
    return true;
}

int PosixSerialDevice::Read(std::uint8_t* buffer, int count) {
    if (!Usable()) return Fail(gone_ ? EIO : EBADF), -1;
    if (count <= 0) return 0;
    std::lock_guard<std::mutex> guard(rxLock_);
    for (;;) {
        ssize_t got = ::read(fd_, buffer, static_cast<std::size_t>(count));
        if (got > 0) {
            rxTaken_ += static_cast<std::uint64_t>(got);
            return static_cast<int>(got);
        }
        if (got == 0) {
            // With VMIN = VTIME = 0 an empty queue reads as 0 too (a purge may have taken the
            // bytes just counted); only a hung-up line makes it the end.
            pollfd hangup{fd_, 0, 0};
            if (::poll(&hangup, 1, 0) <= 0 || (hangup.revents & (POLLHUP | POLLERR | POLLNVAL)) == 0)
                return 0;
            gone_ = true;
            return Fail(EIO), -1;
        }
        if (errno == EINTR) continue;
        if (errno == EAGAIN) return 0;
        return Fail(errno), -1;
    }
}

int PosixSerialDevice::Write(const std::uint8_t* data, int count) {
    if (!Usable() || writesCancelled_) return Fail(gone_ ? EIO : ECANCELED), -1;
    if (count <= 0) return 0;
    int total = 0;
    while (total < count) {
        ssize_t put = ::write(fd_, data + total, static_cast<std::size_t>(count - total));
        if (put > 0) {
            total += static_cast<int>(put);
            continue;
        }
        if (put < 0 && errno == EINTR) continue;
        if (put < 0 && errno != EAGAIN) {
            Fail(errno);
            break;
        }
        // The driver takes nothing now (flow control, full queue): wait for room, or for a
        // flush or a close to give up.
        pollfd fds[2] = {{fd_, POLLOUT, 0}, {writeWakeFd_, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0 && errno != EINTR) {
            Fail(errno);
            break;
        }
        if (fds[1].revents & POLLIN) Drain(writeWakeFd_);
        if (writesCancelled_) break;
        if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) {
            gone_ = true;
            break;
        }
    }
    if (total > 0) {
        // The status thread samples the queue to report EV_TXEMPTY.
        txPending_ = true;
        Ring(waitWakeFd_);
        return total;
    }
    return gone_ ? -1 : 0;
}

void PosixSerialDevice::CancelWrite() {
    writesCancelled_ = true;
    Ring(writeWakeFd_);
}

bool PosixSerialDevice::Purge(bool rx, bool tx) {
    if (!Usable()) return Fail(gone_ ? EIO : EBADF);
    if (!rx && !tx) return true;
    int which = rx && tx ? TCIOFLUSH : (rx ? TCIFLUSH : TCOFLUSH);
    std::lock_guard<std::mutex> guard(rxLock_);
    int discarded = 0;
    if (rx && ::ioctl(fd_, FIONREAD, &discarded) != 0) discarded = 0;
    if (::tcflush(fd_, which) != 0) return Fail(errno);
    rxTaken_ += static_cast<std::uint64_t>(discarded);
    return true;
}

bool PosixSerialDevice::GetModemStatus(std::uint32_t& bits) {
    bits = 0;
    if (!Usable()) return Fail(gone_ ? EIO : EBADF);
    int lines = 0;
    if (!ReadModemLines(lines)) {
        // A pseudo-terminal (and some adapters) has no modem lines. Report CTS and DSR on, or the
        // write thread, which sends only while CTS is on, would never send.
        if (NoModemLines(errno)) {
            bits = MS_CTS_ON | MS_DSR_ON;
            return true;
        }
        return Fail(errno);
    }
    if (lines & TIOCM_CTS) bits |= MS_CTS_ON;
    if (lines & TIOCM_DSR) bits |= MS_DSR_ON;
    if (lines & TIOCM_RI) bits |= MS_RING_ON;
    if (lines & TIOCM_CD) bits |= MS_RLSD_ON;
    return true;
}

bool PosixSerialDevice::Escape(int code) {
    if (!Usable()) return Fail(gone_ ? EIO : EBADF);
    int line = 0;
    int result = -1;
    switch (code) {
        case SETDTR:
            line = TIOCM_DTR;
            result = ::ioctl(fd_, TIOCMBIS, &line);
            break;
        case CLRDTR:
            line = TIOCM_DTR;
            result = ::ioctl(fd_, TIOCMBIC, &line);
            break;
        case SETRTS:
            line = TIOCM_RTS;
            result = ::ioctl(fd_, TIOCMBIS, &line);
            break;
        case CLRRTS:
            line = TIOCM_RTS;
            result = ::ioctl(fd_, TIOCMBIC, &line);
            break;
        case SETBREAK:
            result = ::ioctl(fd_, TIOCSBRK);
            break;
        case CLRBREAK:
            result = ::ioctl(fd_, TIOCCBRK);
            break;
        default:
            return Fail(EINVAL);
    }
    return result == 0 || Fail(errno);
}

}  // namespace zemrik
