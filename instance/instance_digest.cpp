#include "instance/instance_digest.hpp"

namespace varnak {
namespace {

// FNV-1a over the values' bytes, one value at a time, after a marker that keeps lists of
// different lengths apart.
class Digest {
 public:
  void add(std::int64_t value) {
    auto bits = static_cast<std::uint64_t>(value);
    for (int byte = 0; byte < 8; ++byte) {
      state_ = (state_ ^ (bits & 0xff)) * kPrime;
      bits >>= 8;
    }
  }
  std::uint64_t value() const { return state_; }

 private:
  static constexpr std::uint64_t kPrime = 0x100000001b3;
  std::uint64_t state_ = 0xcbf29ce484222325;
};

}  // namespace

std::uint64_t input_digest(const NetworkInstance& instance,
                           const std::vector<std::int32_t>& terminals, bool pairwise) {
  Digest digest;
  digest.add(instance.vertex_count);
  digest.add(instance.edge_count);
  digest.add(instance.srlg_count);
  digest.add(static_cast<std::int64_t>(instance.edges.size()));
  for (const auto& [edge, ends] : instance.edges) {
    digest.add(edge);
    digest.add(ends.first);
    digest.add(ends.second);
  }
  digest.add(static_cast<std::int64_t>(instance.srlgs.size()));
  for (const auto& [srlg, members] : instance.srlgs) {
    digest.add(srlg);
    digest.add(static_cast<std::int64_t>(members.size()));
    for (const std::int32_t member : members) {
      digest.add(member);
    }
  }
  digest.add(static_cast<std::int64_t>(terminals.size()));
  for (const std::int32_t terminal : terminals) {
    digest.add(terminal);
  }
  digest.add(pairwise ? 1 : 0);
  return digest.value();
}

}  // namespace varnak
