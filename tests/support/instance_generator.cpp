#include "tests/support/instance_generator.hpp"

#include <cassert>
#include <iterator>
#include <random>

namespace varnak::test_networks {
namespace {

void derive_membership_counts(NetworkInstance& instance) {
  instance.edge_srlg_count.clear();
  for (std::int32_t edge = 1; edge <= instance.edge_count; ++edge) {
    instance.edge_srlg_count[edge] = 0;
  }
  for (const auto& [srlg, members] : instance.srlgs) {
    for (const std::int32_t edge : members) {
      ++instance.edge_srlg_count[edge];
    }
  }
}

// The draws below are written out from the engine's raw output because the standard
// distributions leave their method to each library: with them, the same seed would give
// other networks, and other benchmark instances, under another standard library.

// A value in low..high, each equally likely. The 2^64 mod n smallest outputs would make
// the low residues likelier, so they are drawn again; what remains is a multiple of n.
std::int32_t uniform(std::mt19937_64& random, std::int32_t low, std::int32_t high) {
  assert(low <= high);
  const std::uint64_t n = static_cast<std::uint64_t>(std::int64_t{high} - low) + 1;
  const std::uint64_t skewed = (0 - n) % n;
  std::uint64_t r = random();
  while (r < skewed) {
    r = random();
  }
  return static_cast<std::int32_t>(low + static_cast<std::int64_t>(r % n));
}

// True with the given probability: the top 53 bits of an output make a double in [0, 1)
// on an even grid of step 2^-53, every value of which a double holds exactly.
bool chance(std::mt19937_64& random, double probability) {
  return static_cast<double>(random() >> 11) * 0x1.0p-53 < probability;
}

}  // namespace

NetworkInstance worked_ring() {
  NetworkInstance ring;
  ring.vertex_count = 4;
  ring.edge_count = 4;
  ring.srlg_count = 3;
  ring.edges = {{1, {1, 2}}, {2, {2, 3}}, {3, {3, 4}}, {4, {1, 4}}};
  ring.srlgs = {{1, {1}}, {2, {2, 3}}, {3, {3}}};
  ring.edge_srlg_count = {{1, 1}, {2, 1}, {3, 2}, {4, 0}};
  return ring;
}

NetworkInstance make_ring_network(const RingNetworkShape& shape, std::uint64_t seed) {
  std::mt19937_64 random(seed);
  NetworkInstance instance;
  instance.vertex_count = shape.vertices;
  instance.edge_count = shape.edges;
  instance.srlg_count = shape.srlgs;
  for (std::int32_t edge = 1; edge <= shape.edges; ++edge) {
    const std::int32_t start = edge <= shape.vertices ? edge : uniform(random, 1, shape.vertices);
    const std::int32_t span = edge <= shape.vertices ? 1 : uniform(random, 2, shape.longest_chord);
    const std::int32_t end = (start - 1 + span) % shape.vertices + 1;
    instance.edges[edge] = {start, end};
    if (chance(random, shape.free_fraction)) {
      continue;
    }
    // An SRLG near the arc where the edge starts, and maybe the next one along the ring.
    const std::int32_t arc = static_cast<std::int32_t>(static_cast<std::int64_t>(start - 1) *
                                                       shape.srlgs / shape.vertices);
    const std::int32_t srlg =
        (arc + uniform(random, 0, shape.srlg_spread) + shape.srlgs) % shape.srlgs + 1;
    instance.srlgs[srlg].push_back(edge);
    if (chance(random, shape.shared_fraction)) {
      instance.srlgs[srlg % shape.srlgs + 1].push_back(edge);
    }
  }
  for (std::int32_t srlg = 1; srlg <= shape.srlgs; ++srlg) {
    instance.srlgs[srlg];  // an SRLG over an arc without edges still takes its place
  }
  derive_membership_counts(instance);
  return instance;
}

RingNetworkShape small_shape() {
  return {20, 30, 15, 0.0, 0.3, 3, 2};
}
RingNetworkShape medium_shape() {
  return {100, 200, 100, 0.0, 0.3, 6, 10};
}
RingNetworkShape large_shape() {
  return {300, 600, 400, 0.0, 0.1, 6, 40};
}
RingNetworkShape dense_shape() {
  return {300, 1500, 400, 0.3, 0.1, 100, 10};
}

NetworkInstance make_awkward_network(std::uint64_t seed) {
  std::mt19937_64 random(seed);
  NetworkInstance instance;
  instance.vertex_count = uniform(random, 1, 7);
  instance.edge_count = uniform(random, 0, 12);
  instance.srlg_count = uniform(random, 1, 7);

  for (std::int32_t edge = 1; edge <= instance.edge_count + 2; ++edge) {
    if (edge <= instance.edge_count ? chance(random, 0.1) : chance(random, 0.5)) {
      continue;  // no E line: the edge reads as (0, 0); beyond ENUM, often no line at all
    }
    instance.edges[edge] = {uniform(random, 1, instance.vertex_count),
                            uniform(random, 1, instance.vertex_count)};
  }
  for (std::int32_t srlg = 0; srlg <= instance.srlg_count + 1; ++srlg) {
    if (chance(random, 0.15)) {
      continue;  // an SRLG without a line
    }
    std::vector<std::int32_t>& members = instance.srlgs[srlg];
    const std::int32_t size = uniform(random, 0, 4);
    for (std::int32_t i = 0; i < size; ++i) {
      // Mostly real edges; sometimes member 0 or an id beyond ENUM.
      members.push_back(uniform(random, 0, instance.edge_count + 2));
      if (chance(random, 0.1)) {
        members.push_back(members.back());
      }
    }
  }
  derive_membership_counts(instance);
  if (chance(random, 0.2) && !instance.edge_srlg_count.empty()) {
    auto entry = instance.edge_srlg_count.begin();
    std::advance(
        entry, uniform(random, 0, static_cast<std::int32_t>(instance.edge_srlg_count.size()) - 1));
    entry->second += uniform(random, -2, 2);
  }
  return instance;
}

}  // namespace varnak::test_networks
