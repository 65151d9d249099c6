// The work array: one allocation of 32-bit words, viewed at once as 32-bit
// integers, single-precision reals and double-precision reals.
//
// All indices are 1-based and mirror the program's addressing:
//   i(k), f(k)  word k as integer / single real            (1 <= k <= size)
//   d(p)        element p of the double view: words 2p-1, 2p (1 <= p <= size/2)
// Every access is range-checked; an index outside the array throws
// WorkArray::OutOfRange, which the entry point reports as an internal error.
// The views are reached through std::memcpy, so there is no aliasing UB.
//
// Guard of the free words. A stale pointer or an overrun into a neighbouring
// array stays inside this one allocation, where AddressSanitizer sees
// nothing. So the data manager tells the work array where its free words
// begin (set_free_from) whenever its top of storage moves. In the sanitizer
// build (PEKTOR_GUARD_WORK_ARRAY) the words from there to the end are
// poisoned, so that any access to them is reported, and words that fall free
// are first overwritten with kStalePattern, a NaN as single and as double
// real and a large integer, so that a stale read that ASan cannot see gives
// a visibly wrong result. In other builds both are no-ops.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <stdexcept>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PEKTOR_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) && !defined(PEKTOR_ASAN)
#define PEKTOR_ASAN 1
#endif
#if defined(PEKTOR_ASAN)
#include <sanitizer/asan_interface.h>
#endif

namespace dms {

// Words that fell free in the sanitizer build: NaN as float (0x7FF5A5A5) and
// as double (0x7FF5A5A57FF5A5A5), 2146805157 as integer.
inline constexpr std::int32_t kStalePattern = 0x7FF5A5A5;

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
                 static_cast<std::size_t>(n_ > 0 ? n_ : 1))
                 .release(),
             Release{static_cast<std::size_t>(n_ > 0 ? n_ : 1)}),
          free_from_(static_cast<std::int64_t>(n_) + 1),
          used_to_(1) {}

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

    // Words k .. size() are free from now on (1 <= k <= size() + 1). In the
    // sanitizer build words that fall free are overwritten with
    // kStalePattern (those that were ever in use) and poisoned; words that
    // come back into use are unpoisoned.
    void set_free_from(std::int64_t k) {
        k = std::clamp<std::int64_t>(k, 1, static_cast<std::int64_t>(n_) + 1);
#if defined(PEKTOR_GUARD_WORK_ARRAY)
        if (!guarded_) {
            // not guarded: only the boundary is kept
        } else if (k < free_from_) {
            const std::int64_t fill_to = std::min(free_from_, used_to_);
            if (fill_to > k) {
                std::fill_n(w_.get() + (k - 1), static_cast<std::size_t>(fill_to - k),
                            kStalePattern);
            }
            guard(k, free_from_, true);
        } else if (k > free_from_) {
            guard(free_from_, k, false);
            used_to_ = std::max(used_to_, k);
        }
#endif
        free_from_ = k;
    }

    // Overwrites words k .. k+n-1, which fell free, with kStalePattern in the
    // sanitizer build; nothing in other builds. The words must be in use.
    void fill_stale([[maybe_unused]] std::int64_t k, [[maybe_unused]] std::int64_t n) {
#if defined(PEKTOR_GUARD_WORK_ARRAY)
        if (!guarded_ || n <= 0) return;
        check(k, n);
        std::fill_n(w_.get() + (k - 1), static_cast<std::size_t>(n), kStalePattern);
#endif
    }

    // Switches the guard off for good (all words addressable, nothing
    // filled): for white-box tests of the data manager that read and damage
    // free words on purpose.
    void unguard() {
        guard(1, static_cast<std::int64_t>(n_) + 1, false);
        guarded_ = false;
    }

    // True when words k .. k+n-1 all lie inside the array.
    bool contains(std::int64_t k, std::int64_t n) const {
        return n >= 0 && k >= 1 && k - 1 + n <= n_;
    }

  private:
    void check(std::int64_t k, std::int64_t n) const {
        if (n < 0 || k < 1 || k - 1 + n > n_) throw OutOfRange("work array index out of range");
    }

    // Poisons (or unpoisons) words first .. last-1 in an AddressSanitizer build.
    void guard([[maybe_unused]] std::int64_t first, [[maybe_unused]] std::int64_t last,
               [[maybe_unused]] bool poison) {
#if defined(PEKTOR_ASAN)
        if (last <= first) return;
        void* p = w_.get() + (first - 1);
        const auto bytes = static_cast<std::size_t>(last - first) * sizeof(std::int32_t);
        if (poison) {
            ASAN_POISON_MEMORY_REGION(p, bytes);
        } else {
            ASAN_UNPOISON_MEMORY_REGION(p, bytes);
        }
#endif
    }

    // Gives the words back unpoisoned.
    struct Release {
        std::size_t words = 0;
        void operator()(std::int32_t* p) const {
#if defined(PEKTOR_ASAN)
            ASAN_UNPOISON_MEMORY_REGION(p, words * sizeof(std::int32_t));
#endif
            std::default_delete<std::int32_t[]>{}(p);
        }
    };

    std::int32_t n_;
    std::unique_ptr<std::int32_t[], Release> w_;
    std::int64_t free_from_;  // first free word (size() + 1: none declared free)
    std::int64_t used_to_;    // words below this were in use at some time
    bool guarded_ = true;
};

}  // namespace dms
