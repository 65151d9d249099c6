// The signals of the sample dyn file: base forces and moments and deck
// motions of an offshore structure in an irregular sea. Every channel is a
// mean plus the response to twelve wave components (each channel with its
// own gains and phase lags), switched on by a start-up ramp with a decaying
// oscillation at the natural period, and one distinct peak from a steep wave
// group at about 62 % of the record. The content depends only on the number
// of channels, steps, the time step, the seed and the scale: the phases come
// from a linear congruential sequence started at the seed, so every run on
// every computer gives the same file.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tools {

class SampleSignals {
  public:
    static constexpr std::uint32_t kDefaultSeed = 20240311U;

    // scale multiplies every value (means included).
    SampleSignals(std::int32_t channels, std::int32_t steps, double dt,
                  std::uint32_t seed = kDefaultSeed, double scale = 1.0);

    std::int32_t channels() const { return static_cast<std::int32_t>(channels_.size()); }
    // Label of channel k (1-based): Base force Fx, Fy, Fz, Base moment Mx,
    // My, Mz, Deck surge, sway, heave, roll, pitch, yaw, then Channel k.
    const std::string& label(std::int32_t k) const;
    // Time of step i (0-based): i*dt rounded to single precision.
    float time(std::int32_t i) const;
    // Time of the peak of the wave group.
    double peak_time() const { return peak_time_; }
    // The values of all channels at step i (out has one element per channel).
    void values(std::int32_t i, std::span<float> out) const;

  private:
    struct Channel {
        std::string label;
        double mean = 0;
        double amplitude = 0;
        std::vector<double> c;  // weight of cos(w_j t + phi_j)
        std::vector<double> s;  // weight of sin(w_j t + phi_j)
    };

    double dt_;
    double scale_;
    double ramp_;       // ramp duration
    double peak_time_;  // centre of the wave group
    double width_;      // half width of the wave group
    std::vector<double> omega_;
    std::vector<double> phase_;
    std::vector<Channel> channels_;
};

}  // namespace tools
