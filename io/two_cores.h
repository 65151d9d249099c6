// Work items done on two cores and used in order.
//
// The caller goes through items 0, 1, 2, ... in order: get(c) gives item c
// done, release(c) hands its buffer back. The caller does the even items
// itself; a helper thread does the odd ones ahead, into a ring of buffers of
// its own, so that while the caller works on one item the helper works on
// the next. With fewer items than worth a thread, or one core, the caller
// does them all. Each item is done exactly once, by one thread, into a buffer
// no other item is using, and is used in order, so the result is that of
// doing the items in turn.
//
// do_item(c, buffer) fills the buffer for item c and returns false when it
// failed; get(c) then gives nullptr. The helper stops at its first failure.
// do_item must only touch state of its own item (it runs on both threads)
// and must not throw (catch inside and keep the exception in the buffer).
// get(c) also hands back the buffers of the items before c.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <functional>
#include <limits>
#include <system_error>
#include <thread>
#include <utility>

namespace io {

template <class Buffer>
class TwoCores {
  public:
    using DoItem = std::function<bool(std::size_t item, Buffer& buffer)>;

    // `count` items; `use_helper` false keeps everything on the caller.
    // Every buffer starts as a copy of `blank` (for example sized).
    TwoCores(std::size_t count, DoItem do_item, bool use_helper, const Buffer& blank = Buffer())
        : count_(count), do_item_(std::move(do_item)), own_(blank) {
        if (use_helper && count_ >= kHelperFrom && std::thread::hardware_concurrency() > 1) {
            ring_.fill(blank);
            try {
                helper_ = std::thread([this] { help(); });
            } catch (const std::system_error&) {
                // No thread to be had (a process limit): the caller does all.
            }
        }
    }
    ~TwoCores() {
        if (!helper_.joinable()) return;
        stop_.store(true);
        used_.store(kStopped);
        used_.notify_all();
        helper_.join();
    }
    TwoCores(const TwoCores&) = delete;
    TwoCores& operator=(const TwoCores&) = delete;

    // Item c done (c in increasing order); nullptr when it failed.
    Buffer* get(std::size_t c) {
        if (!helper_.joinable() || c % 2 == 0) return do_item_(c, own_) ? &own_ : nullptr;
        const std::size_t j = c / 2;  // its number among the odd items
        if (used_.load() < j) {
            used_.store(j);
            used_.notify_one();
        }
        for (std::size_t r = done_.load(); r <= j; r = done_.load()) done_.wait(r);
        if (failed_.load() && failed_at_ == j) return nullptr;
        return &ring_[j % kRing];
    }

    // Item c is used up: its buffer may take a later item.
    void release(std::size_t c) {
        if (!helper_.joinable() || c % 2 == 0) return;
        used_.store(c / 2 + 1);
        used_.notify_one();
    }

  private:
    static constexpr std::size_t kHelperFrom = 4;
    static constexpr std::size_t kRing = 4;
    static constexpr std::size_t kStopped = std::numeric_limits<std::size_t>::max() / 2;

    // Odd item after odd item while a buffer of the ring is free.
    void help() {
        for (std::size_t j = 0; 2 * j + 1 < count_; ++j) {
            for (std::size_t u = used_.load(); !stop_.load() && j >= u + kRing; u = used_.load())
                used_.wait(u);
            if (stop_.load()) return;
            const bool ok = do_item_(2 * j + 1, ring_[j % kRing]);
            if (!ok) {
                failed_at_ = j;
                failed_.store(true);
            }
            done_.store(j + 1);
            done_.notify_one();
            if (!ok) return;
        }
    }

    std::size_t count_;
    DoItem do_item_;
    Buffer own_;
    std::array<Buffer, kRing> ring_{};
    std::atomic<std::size_t> done_{0};  // odd items done by the helper
    std::atomic<std::size_t> used_{0};  // odd items used up by the caller
    std::atomic<bool> stop_{false};
    std::atomic<bool> failed_{false};
    std::size_t failed_at_ = 0;  // the odd item that failed (once failed_)
    std::thread helper_;         // last: started when everything above is ready
};

}  // namespace io
