#pragma once
// Monotonic time for every wait of the suite. The production clock is 64-bit, so a wait never
// ends early because a 32-bit tick counter wrapped; tests use FakeClock and never really wait.
#include <cstdint>

namespace common {

class Clock {
  public:
    virtual ~Clock() = default;
    virtual std::uint64_t now_ms() = 0;
    virtual void sleep_ms(std::uint32_t ms) = 0;
};

// std::chrono::steady_clock; on Windows this is QueryPerformanceCounter.
class SteadyClock : public Clock {
  public:
    std::uint64_t now_ms() override;
    void sleep_ms(std::uint32_t ms) override;
};

// Time moves only when someone sleeps or advances it.
class FakeClock : public Clock {
  public:
    std::uint64_t now_ms() override { return now_; }
    void sleep_ms(std::uint32_t ms) override { now_ += ms; }
    void advance(std::uint64_t ms) { now_ += ms; }

  private:
    std::uint64_t now_ = 1'000'000;
};

}  // namespace common
