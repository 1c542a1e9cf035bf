// The ratio of an operation's time to its floor's, measured in alternating rounds: each round
// times a batch of the operation and then a batch of the floor (the other way round every other
// round), so that both halves of a round see the same machine, and the median of the rounds'
// ratios is what is reported. A build or a burst of load elsewhere on the machine then moves a
// few rounds, not the figure.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <vector>

namespace bench {

struct RoundRatio {
  double ratio = 0;            // the median of the rounds' ratios
  double measuredSeconds = 0;  // per call of the operation, the median over the rounds
  double floorSeconds = 0;     // per call of the floor, the median over the rounds
  std::size_t rounds = 0;
  std::size_t callsPerRound = 0;  // of each of the two
};

namespace detail {

inline double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

template <class Call>
double secondsPerCall(Call& call, std::size_t calls) {
  const auto start = std::chrono::steady_clock::now();
  for (std::size_t i = 0; i < calls; ++i) call();
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  return elapsed.count() / static_cast<double>(calls);
}

}  // namespace detail

// `rounds` rounds, each long enough for the operation's half to take about `roundSeconds`. One
// call of each, untimed, comes first and sizes the batches.
template <class Measured, class Floor>
RoundRatio alternatingRounds(Measured measured, Floor floor, std::size_t rounds, double roundSeconds) {
  measured();
  floor();
  const double first = detail::secondsPerCall(measured, 1);
  RoundRatio result;
  result.rounds = rounds;
  result.callsPerRound = first >= roundSeconds ? 1 : static_cast<std::size_t>(roundSeconds / first);
  std::vector<double> ratios;
  std::vector<double> measuredTimes;
  std::vector<double> floorTimes;
  for (std::size_t round = 0; round < rounds; ++round) {
    double m = 0;
    double f = 0;
    if (round % 2 == 0) {
      m = detail::secondsPerCall(measured, result.callsPerRound);
      f = detail::secondsPerCall(floor, result.callsPerRound);
    } else {
      f = detail::secondsPerCall(floor, result.callsPerRound);
      m = detail::secondsPerCall(measured, result.callsPerRound);
    }
    ratios.push_back(m / f);
    measuredTimes.push_back(m);
    floorTimes.push_back(f);
  }
  result.ratio = detail::median(ratios);
  result.measuredSeconds = detail::median(measuredTimes);
  result.floorSeconds = detail::median(floorTimes);
  return result;
}

}  // namespace bench
