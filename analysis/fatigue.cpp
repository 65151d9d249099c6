#include "analysis/fatigue.h"

#include <span>

namespace analysis {

FatigueCount::FatigueCount(const FatigueSettings& s)
    : s_(&s),
      counter_(s.residuals),
      damage_(s.cycles ? std::span<const double>() : std::span<const double>(s.exponents)) {}

void FatigueCount::push(float time, float x) {
    if (n_ == 0) t_first_ = time;
    t_last_ = time;
    ++n_;
    if (s_->cycles) {
        counter_.push(x, [this](const RainflowCycle& c) { cycles_.push_back(c); });
    } else {
        counter_.push(x, [this](const RainflowCycle& c) { damage_.add(c); });
    }
}

FatigueResult FatigueCount::finish() {
    FatigueResult r;
    r.t_first = t_first_;
    r.t_last = t_last_;
    r.samples = n_;
    if (s_->cycles) {
        counter_.finish([this](const RainflowCycle& c) { cycles_.push_back(c); });
        r.bins = bin_cycles(cycles_, s_->bins);
    } else {
        counter_.finish([this](const RainflowCycle& c) { damage_.add(c); });
        r.cycles = damage_.cycles();
        r.neq = s_->neq ? *s_->neq : r.duration() * s_->feq;
        for (std::size_t k = 0; k < s_->exponents.size(); ++k)
            r.dels.push_back(damage_.del(k, r.neq));
    }
    r.used = n_ - counter_.skipped();
    return r;
}

}  // namespace analysis
