#include "audio/audio_packet_schedule.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "audio/audio_state.h"

namespace winsim {
namespace audio {
namespace {

constexpr std::int64_t kTicksPerMs = 10'000;

std::int64_t Ticks(double ms) { return std::llround(ms * kTicksPerMs); }

// A fixed pseudo-random fraction in [0, 1) per (seed, index), so a jittery
// device repeats exactly from run to run.
double JitterFraction(std::uint32_t seed, std::int64_t index) {
  std::uint64_t z = (std::uint64_t{seed} << 32) ^ static_cast<std::uint64_t>(index);
  z += 0x9E3779B97F4A7C15ull;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  z ^= z >> 31;
  return static_cast<double>(z >> 11) / 9007199254740992.0;  // 2^53
}

bool Within(const StreamSpan& span, std::int64_t running) {
  const std::int64_t from = Ticks(span.at_ms);
  return running >= from && running < from + Ticks(span.ms);
}

}  // namespace

PacketSchedule::PacketSchedule(std::uint32_t rate, const DeviceConditions& conditions, bool bounded)
    : rate_(rate), conditions_(conditions), bounded_(bounded) {
  speed_ = 1.0 + conditions_.clock_ppm * 1e-6;
  if (!(speed_ > 0.0)) speed_ = 1.0;  // a clock cannot stand still or run backwards
}

void PacketSchedule::Start(std::int64_t now) {
  if (running_) return;
  running_ = true;
  runs_.push_back(Run{ran_before_, now});
}

void PacketSchedule::Stop(std::int64_t now) {
  if (!running_) return;
  ran_before_ = RunningAt(now);
  running_ = false;
}

void PacketSchedule::Reset() {
  // Packets completed before the stream stopped are pending too, even if
  // no read has counted them yet: Reset flushes them with the rest.
  if (!running_) Advance(0, /*discard=*/true);
  held_.clear();
  lost_ = false;
}

std::int64_t PacketSchedule::RunningAt(std::int64_t now) const {
  if (!running_) return ran_before_;
  return ran_before_ + std::max<std::int64_t>(0, now - runs_.back().machine);
}

double PacketSchedule::MachineAt(double running) const {
  if (runs_.empty()) return running;
  auto run = std::upper_bound(runs_.begin(), runs_.end(), running,
                              [](double r, const Run& x) { return r < x.running; });
  if (run != runs_.begin()) --run;
  return static_cast<double>(run->machine) + (running - static_cast<double>(run->running));
}

std::int64_t PacketSchedule::AvailableAt(std::int64_t index, std::int64_t previous) const {
  const auto complete = static_cast<std::int64_t>(
      std::ceil(static_cast<double>((index + 1) * kPacket100ns) / speed_));
  std::int64_t at = complete;
  if (conditions_.jitter_ms > 0) {
    at += Ticks(conditions_.jitter_ms * JitterFraction(conditions_.jitter_seed, index));
  }
  at = std::max(at, previous);
  // A stall can end inside another; move on until no stall holds the packet.
  for (bool moved = true; moved;) {
    moved = false;
    for (const StreamSpan& stall : conditions_.stalls) {
      if (stall.ms > 0 && Within(stall, at)) {
        at = Ticks(stall.at_ms) + Ticks(stall.ms);
        moved = true;
      }
    }
  }
  return at;
}

bool PacketSchedule::Unplayed(std::int64_t index) const {
  const auto complete = static_cast<std::int64_t>(
      std::ceil(static_cast<double>((index + 1) * kPacket100ns) / speed_));
  for (const StreamSpan& pause : conditions_.pauses) {
    if (Within(pause, complete - 1)) return true;
  }
  return false;
}

void PacketSchedule::Advance(std::int64_t now, bool discard, std::int64_t kept_from) {
  const std::int64_t ran = RunningAt(now);
  const std::int64_t oldest_kept = ran - kBufferPackets * kPacket100ns;
  const auto dropped = [&](std::int64_t available) {
    return discard && MachineAt(static_cast<double>(available)) <= static_cast<double>(kept_from);
  };
  for (;;) {
    const std::int64_t at = AvailableAt(made_, last_available_);
    if (at > ran) break;
    last_available_ = at;
    if (!dropped(at) && !Unplayed(made_)) held_.push_back(Held{made_, at});
    ++made_;
    // Overwritten as the device goes, so a long wait between reads costs
    // no memory.
    while (bounded_ && !held_.empty() && held_.front().available <= oldest_kept) {
      held_.pop_front();
      lost_ = true;
    }
  }
  while (!held_.empty() && dropped(held_.front().available)) held_.pop_front();
}

std::int64_t PacketSchedule::PendingFrames() const {
  std::int64_t frames = 0;
  for (const Held& h : held_) frames += FramesOf(h.index);
  return frames;
}

std::uint32_t PacketSchedule::FramesOf(std::int64_t index) const {
  return static_cast<std::uint32_t>(FramesBefore(index + 1, rate_) - FramesBefore(index, rate_));
}

std::int64_t PacketSchedule::FirstFrameOf(std::int64_t index) const {
  return FramesBefore(index, rate_);
}

double PacketSchedule::FramePeriod() const {
  return rate_ == 0 ? 0.0 : 10'000'000.0 / (static_cast<double>(rate_) * speed_);
}

double PacketSchedule::SampledAt(std::int64_t frame) const {
  return MachineAt(static_cast<double>(frame) * FramePeriod());
}

std::int64_t PacketSchedule::NextAvailableAt() const {
  if (!running_) return std::numeric_limits<std::int64_t>::max();
  const std::int64_t at = AvailableAt(made_, last_available_);
  return runs_.back().machine + (at - ran_before_);
}

bool PacketSchedule::TakeDiscontinuity() {
  const bool lost = lost_;
  lost_ = false;
  return lost;
}

}  // namespace audio
}  // namespace winsim
