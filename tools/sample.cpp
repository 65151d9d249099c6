#include "tools/sample.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

namespace tools {

namespace {

constexpr int kWaves = 12;            // wave components of the sea
constexpr double kPeakPeriod = 10.0;  // s, peak of the wave spectrum
constexpr double kNaturalPeriod = 3.2;

// A linear congruential sequence (the constants of Numerical Recipes): the
// same numbers on every computer.
class Lcg {
  public:
    explicit Lcg(std::uint32_t seed) : state_(seed) {}
    // Uniform in [0, 1).
    double next() {
        state_ = state_ * 1664525U + 1013904223U;
        return static_cast<double>(state_ >> 8) / 16777216.0;
    }

  private:
    std::uint32_t state_;
};

struct Named {
    const char* label;
    double mean;
    double amplitude;
};

// Forces in kN, moments in kNm, displacements in m, rotations in degrees.
constexpr std::array<Named, 12> kNamed{{
    {"Base force Fx", 0.0, 2400.0},
    {"Base force Fy", 0.0, 650.0},
    {"Base force Fz", -45000.0, 900.0},
    {"Base moment Mx", 0.0, 18000.0},
    {"Base moment My", 0.0, 62000.0},
    {"Base moment Mz", 0.0, 2500.0},
    {"Deck surge", 0.4, 1.6},
    {"Deck sway", 0.05, 0.35},
    {"Deck heave", 0.0, 0.9},
    {"Deck roll", 0.0, 0.6},
    {"Deck pitch", 0.0, 1.8},
    {"Deck yaw", 0.0, 0.25},
}};

}  // namespace

SampleSignals::SampleSignals(std::int32_t channels, std::int32_t steps, double dt,
                             std::uint32_t seed, double scale)
    : dt_(dt), scale_(scale) {
    const double duration = std::max(0, steps - 1) * dt;
    ramp_ = std::min(10.0, 0.1 * duration);
    peak_time_ = 0.62 * duration;
    width_ = std::max(std::min(1.5, 0.04 * duration), dt);

    constexpr double kTwoPi = 2.0 * std::numbers::pi;
    Lcg lcg(seed);
    std::array<double, kWaves> spectrum{};
    for (int j = 0; j < kWaves; ++j) {
        const double period = 5.0 + 11.0 * j / (kWaves - 1);
        omega_.push_back(kTwoPi / period);
        phase_.push_back(kTwoPi * lcg.next());
        const double x = (period - kPeakPeriod) / 3.0;
        spectrum[static_cast<std::size_t>(j)] = std::exp(-x * x);
    }
    for (std::int32_t k = 1; k <= channels; ++k) {
        Channel ch;
        if (k <= static_cast<std::int32_t>(kNamed.size())) {
            const Named& n = kNamed[static_cast<std::size_t>(k - 1)];
            ch.label = n.label;
            ch.mean = n.mean;
            ch.amplitude = n.amplitude;
        } else {
            ch.label = "Channel " + std::to_string(k);
            ch.mean = 10.0 * (k % 7);
            ch.amplitude = 50.0 + 25.0 * (k % 9);
        }
        // Gains and phase lags of the response; the gains add up to 1, so
        // the sea alone never exceeds the channel's amplitude.
        std::array<double, kWaves> gain{};
        std::array<double, kWaves> lag{};
        double sum = 0;
        for (int j = 0; j < kWaves; ++j) {
            const auto u = static_cast<std::size_t>(j);
            gain[u] = spectrum[u] * (0.6 + 0.8 * lcg.next());
            lag[u] = kTwoPi * lcg.next();
            sum += gain[u];
        }
        for (int j = 0; j < kWaves; ++j) {
            const auto u = static_cast<std::size_t>(j);
            ch.c.push_back(gain[u] / sum * std::cos(lag[u]));
            ch.s.push_back(-gain[u] / sum * std::sin(lag[u]));
        }
        channels_.push_back(std::move(ch));
    }
}

const std::string& SampleSignals::label(std::int32_t k) const {
    return channels_.at(static_cast<std::size_t>(k - 1)).label;
}

float SampleSignals::time(std::int32_t i) const {
    return static_cast<float>(i * dt_);
}

void SampleSignals::values(std::int32_t i, std::span<float> out) const {
    const double t = i * dt_;
    std::array<double, kWaves> c{};
    std::array<double, kWaves> s{};
    for (std::size_t j = 0; j < kWaves; ++j) {
        c[j] = std::cos(omega_[j] * t + phase_[j]);
        s[j] = std::sin(omega_[j] * t + phase_[j]);
    }
    const double ramp = t < ramp_ ? 0.5 * (1.0 - std::cos(std::numbers::pi * t / ramp_)) : 1.0;
    // The wave group: a steep crest at peak_time_, 2.5 times the amplitude.
    const double x = (t - peak_time_) / width_;
    const double group =
        2.5 * std::exp(-x * x) * std::cos(2.0 * std::numbers::pi / 11.0 * (t - peak_time_));
    // The start-up shake at the natural period, dying out during the ramp.
    const double decay = std::max(ramp_ / 2.0, dt_);
    const double shake =
        0.3 * std::exp(-t / decay) * std::sin(2.0 * std::numbers::pi * t / kNaturalPeriod);
    const std::size_t n = std::min(out.size(), channels_.size());
    for (std::size_t k = 0; k < n; ++k) {
        const Channel& ch = channels_[k];
        double sea = 0;
        for (std::size_t j = 0; j < kWaves; ++j) sea += ch.c[j] * c[j] + ch.s[j] * s[j];
        out[k] =
            static_cast<float>(scale_ * (ch.mean + ch.amplitude * (ramp * (sea + group) + shake)));
    }
}

}  // namespace tools
