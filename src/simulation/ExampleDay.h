#pragma once

#include <cstdint>
#include <string>

namespace trevalo::simulation {

// The bundled example day, made rather than recorded: a Monday in the example city spent at
// home, a walk to a café, a drive to the office, the working day there, and a drive home.
// `trevalo example DIR` writes it; examples/ keeps what it wrote.
//
// How it is made: the person follows fixed routes (street corners as waypoints) at walking
// pace (1.4 m/s, a little slower after the café) or in traffic (speeding up to 12 m/s, slowing
// for corners, stopping at two red lights on each drive). Inside a building they drift a few
// metres around its middle. Each second the phone reports a fix: outdoors within 4 to 9 m of
// the truth with its speed and course, indoors 20 to 50 m off with neither (the receiver
// hears satellites through walls), each error drifting slowly rather than jumping, as a
// receiver's does. The Wi-Fi name changes as the person arrives at and leaves home, the café
// and the office. The noise comes from a seeded generator, so the same seed gives the same
// files byte for byte.
class ExampleDay {
 public:
  static constexpr std::uint64_t kSeed = 20240603;

  struct Files {
    std::string trace;   // JSON Lines
    std::string venues;  // GeoJSON FeatureCollection
  };

  static Files generate(std::uint64_t seed = kSeed);
};

}  // namespace trevalo::simulation
