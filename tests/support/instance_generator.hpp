#pragma once

#include <cstdint>

#include "instance/network_instance.hpp"

namespace varnak::test_networks {

// The ring of four vertices whose estimates are worked out by hand:
//
//  1 ---e1--- 2      SRLG 1 = {e1}
//  |          |      SRLG 2 = {e2, e3}
//  e4         e2     SRLG 3 = {e3}
//  |          |      e4 is in no SRLG: up from the start
//  4 ---e3--- 3
NetworkInstance worked_ring();

// A ring of all vertices plus short chords; every edge lies in 0, 1 or 2 SRLGs, each
// SRLG grouping the edges that start on one arc of the ring, so SRLGs behave like
// ducts. Deterministic by `seed`, the same with every standard library. Counts are
// derived from the member lists as the reader derives them.
struct RingNetworkShape {
  std::int32_t vertices;
  std::int32_t edges;
  std::int32_t srlgs;
  double free_fraction;    // edges in no SRLG
  double shared_fraction;  // of the others, edges in the neighbouring SRLG too
  std::int32_t longest_chord;
  std::int32_t srlg_spread;  // an edge's SRLG lies up to this many arcs past its own
};

NetworkInstance make_ring_network(const RingNetworkShape& shape, std::uint64_t seed);

// The shapes used by the benchmarks and the performance tables.
RingNetworkShape small_shape();   // 20 vertices, 30 edges, 15 SRLGs
RingNetworkShape medium_shape();  // 100, 200, 100
RingNetworkShape large_shape();   // 300, 600, 400
RingNetworkShape dense_shape();   // 300, 1500, 400, 30% of edges in no SRLG

// A small instance with the awkward features a file may give: free edges, members
// listed twice, member 0, member ids beyond ENUM (some with E lines), SRLG ids beyond
// SRLGNUM or without a list, edges without an E line, self-loops, and now and then a
// membership count that disagrees with the lists.
NetworkInstance make_awkward_network(std::uint64_t seed);

}  // namespace varnak::test_networks
