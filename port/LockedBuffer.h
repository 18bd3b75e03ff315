#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <vector>

// A flat byte buffer that the main thread and one worker share: the bytes held sit at the front,
// oldest first; the producer appends behind them and the consumer takes from the front, moving
// the rest down. Every change holds the lock; Used and Size may be read without it.
namespace zemrik {

class LockedBuffer {
public:
    // Makes room for `size` bytes (none held). Only while no worker touches the buffer.
    void Allocate(int size) {
        std::lock_guard<std::mutex> guard(lock_);
        bytes_.assign(static_cast<std::size_t>(std::max(size, 0)), 0);
        size_ = static_cast<int>(bytes_.size());
        used_ = 0;
    }
    void Release() {
        std::lock_guard<std::mutex> guard(lock_);
        bytes_ = {};
        size_ = 0;
        used_ = 0;
    }
    int Size() const { return size_; }
    int Used() const { return used_; }
    void Clear() {
        std::lock_guard<std::mutex> guard(lock_);
        used_ = 0;
    }

    // Copies in as many of `count` bytes as there is room for; returns how many.
    int Put(const std::uint8_t* data, int count) {
        return Fill([&](std::uint8_t* at, int room) {
            const int n = std::min(count, room);
            if (n > 0) std::memcpy(at, data, static_cast<std::size_t>(n));
            return n;
        });
    }
    // Takes at most `count` bytes from the front; returns how many.
    int Take(std::uint8_t* data, int count) {
        return Drain([&](const std::uint8_t* bytes, int held) {
            const int n = std::min(count, held);
            if (n > 0) std::memcpy(data, bytes, static_cast<std::size_t>(n));
            return n;
        });
    }
    // Under the lock, `fill(at, room)` writes at most `room` bytes behind those held and returns
    // how many it wrote (0 or less: none). Returns that count.
    template <class F>
    int Fill(F&& fill) {
        std::lock_guard<std::mutex> guard(lock_);
        const int used = used_;
        const int room = size_ - used;
        if (room <= 0) return 0;
        const int n = std::min(fill(bytes_.data() + used, room), room);
        if (n <= 0) return 0;
        used_ = used + n;
        return n;
    }
    // Under the lock, `drain(bytes, held)` is offered the bytes held and returns how many of them
    // it consumed; they leave the front. Returns that count.
    template <class F>
    int Drain(F&& drain) {
        std::lock_guard<std::mutex> guard(lock_);
        const int used = used_;
        if (used <= 0) return 0;
        const int n = std::min(drain(static_cast<const std::uint8_t*>(bytes_.data()), used), used);
        if (n <= 0) return 0;
        std::memmove(bytes_.data(), bytes_.data() + n, static_cast<std::size_t>(used - n));
        used_ = used - n;
        return n;
    }

private:
    std::mutex lock_;  // guards bytes_ and every change of the counts
    std::vector<std::uint8_t> bytes_;
    std::atomic<int> size_{0};
    std::atomic<int> used_{0};
};

}  // namespace zemrik
