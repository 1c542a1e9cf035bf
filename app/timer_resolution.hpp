// Holds the system timer at 1 ms resolution for the life of the object (Windows). The frame loop
// sleeps 16 ms in slices of at most 5 ms; at the default resolution of about 15.6 ms each slice
// lasts a whole tick and a frame's wait about 60 ms. When the system refuses, nothing else
// changes: frames are only slower.
#pragma once

namespace app {

class TimerResolution {
 public:
  TimerResolution();
  ~TimerResolution();
  TimerResolution(const TimerResolution&) = delete;
  TimerResolution& operator=(const TimerResolution&) = delete;

  // Whether the system granted the resolution (and the destructor gives it back).
  bool raised() const { return raised_; }

 private:
  bool raised_ = false;
};

}  // namespace app
