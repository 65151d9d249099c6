// The work array: one allocation of 32-bit words, viewed at once as 32-bit
// integers, single-precision reals and double-precision reals.
//
// All indices are 1-based and mirror the program's addressing:
//   i(k), f(k)  word k as integer / single real            (1 <= k <= size)
//   d(p)        element p of the double view: words 2p-1, 2p (1 <= p <= size/2)
// Every access is range-checked; an index outside the array throws
// WorkArray::OutOfRange, which the entry point reports as an internal error.
// The views are reached through std::memcpy, so there is no aliasing UB.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <stdexcept>

namespace dms {

class WorkArray {
  public:
    struct OutOfRange : std::out_of_range {
        using std::out_of_range::out_of_range;
    };

    // Allocates n words in one piece; the words are not cleared.
    // Throws std::bad_alloc when the heap refuses.
    explicit WorkArray(std::int32_t n)
        : n_(n > 0 ? n : 0),
          w_(std::make_unique_for_overwrite<std::int32_t[]>(
              static_cast<std::size_t>(n_ > 0 ? n_ : 1))) {}

    std::int32_t size() const { return n_; }

    std::int32_t i(std::int64_t k) const {
        check(k, 1);
        return w_[static_cast<std::size_t>(k - 1)];
    }
    void set_i(std::int64_t k, std::int32_t v) {
        check(k, 1);
        w_[static_cast<std::size_t>(k - 1)] = v;
    }

    float f(std::int64_t k) const {
        check(k, 1);
        float v;
        std::memcpy(&v, &w_[static_cast<std::size_t>(k - 1)], sizeof v);
        return v;
    }
    void set_f(std::int64_t k, float v) {
        check(k, 1);
        std::memcpy(&w_[static_cast<std::size_t>(k - 1)], &v, sizeof v);
    }

    double d(std::int64_t p) const {
        const std::int64_t k = 2 * p - 1;
        check(k, 2);
        double v;
        std::memcpy(&v, &w_[static_cast<std::size_t>(k - 1)], sizeof v);
        return v;
    }
    void set_d(std::int64_t p, double v) {
        const std::int64_t k = 2 * p - 1;
        check(k, 2);
        std::memcpy(&w_[static_cast<std::size_t>(k - 1)], &v, sizeof v);
    }

    // Words k .. k+n-1 as a span (n may be 0).
    std::span<std::int32_t> words(std::int64_t k, std::int64_t n) {
        if (n == 0) return {};
        check(k, n);
        return {&w_[static_cast<std::size_t>(k - 1)], static_cast<std::size_t>(n)};
    }
    std::span<const std::int32_t> words(std::int64_t k, std::int64_t n) const {
        if (n == 0) return {};
        check(k, n);
        return {&w_[static_cast<std::size_t>(k - 1)], static_cast<std::size_t>(n)};
    }

    // Words k .. k+n-1 as raw bytes, for file transfers.
    std::span<std::byte> bytes(std::int64_t k, std::int64_t n) {
        auto s = words(k, n);
        return std::as_writable_bytes(s);
    }

    // True when words k .. k+n-1 all lie inside the array.
    bool contains(std::int64_t k, std::int64_t n) const {
        return n >= 0 && k >= 1 && k - 1 + n <= n_;
    }

  private:
    void check(std::int64_t k, std::int64_t n) const {
        if (n < 0 || k < 1 || k - 1 + n > n_) throw OutOfRange("work array index out of range");
    }

    std::int32_t n_;
    std::unique_ptr<std::int32_t[]> w_;
};

}  // namespace dms
