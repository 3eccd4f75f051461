// SampleQueue: captured audio waiting for the mixer, as interleaved floats,
// oldest first. The capture appends a packet every few milliseconds and the
// mixer drops what it has read from the front as often. Dropping only moves
// the queue's start; the storage is compacted once the dropped part is as
// large as what is still queued, so each value moves a bounded number of
// times however long the recording runs, where erasing from the front of a
// vector would move the whole queue (up to two seconds of audio) every step.
// The names follow the standard containers, which it stands in for.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <vector>

namespace morl::recorder {

class SampleQueue {
 public:
  std::size_t size() const { return values_.size() - head_; }
  bool empty() const { return size() == 0; }
  float operator[](std::size_t i) const { return values_[head_ + i]; }
  float back() const { return values_.back(); }
  // The queued values are contiguous.
  const float* begin() const { return values_.data() + head_; }
  const float* end() const { return values_.data() + values_.size(); }

  void push_back(float value) { values_.push_back(value); }
  // Appends `count` zeros (silence) and returns the first of them, for the
  // caller to fill; valid until the queue next changes.
  float* append_silence(std::size_t count) {
    const std::size_t start = values_.size();
    values_.resize(start + count, 0.0f);
    return values_.data() + start;
  }
  void assign(std::size_t count, float value) {
    values_.assign(count, value);
    head_ = 0;
  }
  void assign(std::initializer_list<float> values) {
    values_.assign(values);
    head_ = 0;
  }

  // Drops the `count` oldest values (all of them when fewer are queued).
  void drop_front(std::size_t count) {
    head_ += count < size() ? count : size();
    if (head_ >= size()) {
      values_.erase(values_.begin(), values_.begin() + static_cast<std::ptrdiff_t>(head_));
      head_ = 0;
    }
  }
  // Empties the queue, keeping its storage for what comes next.
  void clear() {
    values_.clear();
    head_ = 0;
  }
  // Empties the queue and gives its storage back.
  void release() {
    std::vector<float>().swap(values_);
    head_ = 0;
  }

 private:
  std::vector<float> values_;
  std::size_t head_ = 0;  // values_[0, head_) were dropped
};

}  // namespace morl::recorder
