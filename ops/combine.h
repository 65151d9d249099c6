// Operation 4: combination of time series into resultant forces and
// user-defined components, with the small matrix routines it uses.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

#include "dms/work_array.h"
#include "io/units.h"
#include "store/store.h"

namespace ops {

class Engine;

// ---- double-precision vectors and matrices ----

// A run of double-precision elements addressed 1-based: local storage, or
// elements p .. p+n-1 of the double view of the work array. Every access is
// checked against the run's own length (std::out_of_range), so a routine
// never reaches into a neighbouring array. Matrices are stored column by
// column.
class DoubleView {
  public:
    explicit DoubleView(std::span<double> local)
        : bytes_(std::as_writable_bytes(local)), n_(static_cast<std::int64_t>(local.size())) {}
    DoubleView(dms::WorkArray& w, std::int64_t p, std::int64_t n) : n_(n) {
        if (n < 0 || (n > 0 && (p < 1 || !w.contains(2 * p - 1, 2 * n))))
            throw std::out_of_range("double view outside the work array");
        bytes_ = w.bytes(2 * p - 1, 2 * n);
    }

    std::int64_t size() const { return n_; }

    double operator()(std::int64_t i) const {
        check(i);
        double v;
        std::memcpy(&v, bytes_.data() + offset(i), sizeof v);
        return v;
    }
    void set(std::int64_t i, double v) const {
        check(i);
        std::memcpy(bytes_.data() + offset(i), &v, sizeof v);
    }

    // Elements first .. first+n-1 of this run as a run of their own.
    DoubleView sub(std::int64_t first, std::int64_t n) const {
        if (n < 0 || (n > 0 && (first < 1 || first - 1 + n > n_)))
            throw std::out_of_range("double view: part outside the run");
        DoubleView part;
        part.n_ = n;
        if (n > 0) part.bytes_ = bytes_.subspan(offset(first), static_cast<std::size_t>(n) * 8);
        return part;
    }

  private:
    DoubleView() = default;
    void check(std::int64_t i) const {
        if (i < 1 || i > n_) throw std::out_of_range("double view index out of range");
    }
    static std::size_t offset(std::int64_t i) { return static_cast<std::size_t>(i - 1) * 8; }

    // The elements' bytes: local doubles, or words of the work array (which
    // is one allocation that never moves, so the bytes stay where they are).
    std::span<std::byte> bytes_;
    std::int64_t n_ = 0;
};

// X(ip .. ip+n-1) := T * X(ip ..) for mode 1, := T' * X(ip ..) for mode 2
// (T is n x n; y is work space of n elements); any other mode changes
// nothing. ierr becomes 0 on success. m <= 0, n < 1, ip <= 0 or
// m < n + ip - 1 set ierr to -1 with a message to lpu when lpu > 0.
void VECTRA(io::Units& units, const DoubleView& t, const DoubleView& x, const DoubleView& y,
            std::int32_t m, std::int32_t n, std::int32_t ip, std::int32_t mode, std::int32_t lpu,
            std::int32_t& ierr);

// b(1..m*n) := a, or := -a when sign < 0. No flag.
void MCOPYD(const DoubleView& a, const DoubleView& b, std::int32_t m, std::int32_t n,
            std::int32_t sign);

// p := a*b (mode 0), p := p + a*b (mode > 0), p := p - a*b (mode < 0), with
// a m x k, b k x n and p m x n; each element is the dot product VDOTD of a
// row of a and a column of b. Nothing happens when m, k or n is below 1.
// No flag.
void MPRODD(const DoubleView& a, const DoubleView& b, const DoubleView& p, std::int32_t m,
            std::int32_t k, std::int32_t n, std::int32_t mode);

// a(1..m*n) := value. No flag.
void MFILLD(const DoubleView& a, std::int32_t m, std::int32_t n, double value);

// ---- the input file ----

inline constexpr std::int32_t kInputUnit = 24;      // input file of the combination
inline constexpr std::int32_t kResultantUnit = 44;  // resultants ("fort.44")
inline constexpr std::int32_t kMaxGroups = 10;
inline constexpr std::int32_t kMaxPerGroup = 6;
inline constexpr std::int32_t kMaxSelected = 100;
// Component k is written to unit 44 + k; units end at 99.
inline constexpr std::int32_t kMaxComponents = 99 - kResultantUnit;

// Groups, DynRes numbers and matrices read from the input file.
struct Groups {
    std::int32_t nr = 0;  // number of groups
    std::int32_t nc = 0;  // DynRes per group
    // DynRes numbers, group after group.
    std::array<std::int32_t, kMaxSelected> dynres{};
    // T(3,3,10), column by column: T(i,j,g) is element i + 3(j-1) + 9(g-1).
    std::array<double, 9 * kMaxGroups> t{};

    std::int32_t selected() const { return nr * nc; }
};

// What an input-file read could not use: the item, and why.
struct InputError {
    std::string item;
    std::string problem;
};

// Reads the numbers of groups and DynRes, then for each group its DynRes
// numbers and its matrix (given row by row), each item with a read of its
// own. Returns false with the reason when the file ends early, a value is
// not a number, or a count is out of its limits.
bool read_groups(io::Units& units, std::int32_t unit, Groups& g, InputError& e);

// The number of components from its line (not blank). Returns false with the
// reason when it is not a number or not within 0..kMaxComponents.
bool component_count(std::string_view line, std::int32_t& k, InputError& e);

// The component line: " Component no", k, ": " and, for a description that
// is not blank, its first 59 characters from column 22; trailing blanks
// removed.
std::string component_line(std::int32_t k, std::string_view description);

// ---- the operation ----

// The six resultants of one step: each group's force and moment triples
// (the group's values at values[(k-1)*nc .. k*nc-1], DynRes 1-3 and 4-6 of
// the group) transformed with the transpose of the group's matrix and summed
// over the groups; with nc = 3 the moments stay 0. Returns false when a
// transformation fails (reported to lpu when lpu > 0).
bool resultants(io::Units& units, const Groups& g, std::span<const double> values,
                std::array<double, 6>& r, std::int32_t lpu);

// The resultants at steps 1..nrows: per step, each group's force and moment
// triples (columns of aux1, which are ndrstep long) are transformed with the
// transpose of the group's matrix and summed into aux2(1..6, step). Writes
// the time and the six resultants of every step to unit 44 and closes it.
// ierr is set to -1 when a transformation fails (it has reported).
void RESFOR(io::Units& units, dms::WorkArray& w, const Groups& g, std::int32_t ndrstep,
            std::int32_t nrows, std::int32_t aux1, std::int32_t aux2, std::int32_t times,
            std::int32_t iout, std::int32_t& ierr);

// Operation 4: reads the input file (unit 24), forms the resultants
// (fort.44) and the components (fort.45 ...) over the window and prints
// their statistics. ierr = -1 on failure (after the message blocks),
// untouched on success.
void Pektor4(store::Store& st, dms::WorkArray& w, const std::string& file, double first,
             double last, std::int32_t iout, std::int32_t& ierr, Engine* engine = nullptr);

}  // namespace ops
