#include "tests/support/reference_estimator.hpp"

#include <boost/pending/disjoint_sets.hpp>

#include <vector>

#include "estimation/random_source.hpp"

namespace varnak::reference {
namespace {

// The vertex sets with the connectivity test by counting the vertices that are their own
// parent, as boost's count_sets does.
class ScanningDisjointSets {
 public:
  explicit ScanningDisjointSets(std::int32_t vertex_count)
      : rank_(vertex_count + 1, 0), parent_(vertex_count + 1, 0), sets_(&rank_[0], &parent_[0]) {
    for (std::int32_t vertex = 1; vertex <= vertex_count; ++vertex) {
      elements_.push_back(vertex);
    }
  }

  void reset_all() {
    for (const std::int32_t vertex : elements_) {
      sets_.make_set(vertex);
    }
  }

  void unite(std::int32_t u, std::int32_t v) { sets_.union_set(u, v); }

  bool is_connected() { return sets_.count_sets(elements_.begin(), elements_.end()) == 1; }

 private:
  std::vector<std::int32_t> rank_;
  std::vector<std::int32_t> parent_;
  std::vector<std::int32_t> elements_;
  boost::disjoint_sets<std::int32_t*, std::int32_t*> sets_;
};

}  // namespace

void estimate_spectra(SpectraVector& spectrum, BimSpectraMatrix& bim_spectra,
                      std::int32_t sample_size, std::int32_t seed, NetworkInstance instance) {
  RandomSource random(seed);
  SrlgOrder order;
  order.fill(instance.srlg_count);
  ScanningDisjointSets sets(instance.vertex_count);
  const double increment = 1.0 / sample_size;

  for (std::int32_t sample = 0; sample < sample_size; ++sample) {
    std::map<std::int32_t, std::int32_t> counts = instance.edge_srlg_count;
    sets.reset_all();
    for (std::int32_t edge = 1; edge <= instance.edge_count; ++edge) {
      if (instance.edge_srlg_count[edge] == 0) {
        sets.unite(instance.edges[edge].first, instance.edges[edge].second);
      }
    }
    bool up = sets.is_connected();
    order.reshuffle(random);

    for (std::int32_t position = 0; position < instance.srlg_count; ++position) {
      const std::int32_t srlg = order[position];
      if (!up) {
        for (const std::int32_t edge : instance.srlgs[srlg]) {
          if (counts[edge] <= 0) {
            continue;
          }
          --counts[edge];
          if (counts[edge] == 0) {
            sets.unite(instance.edges[edge].first, instance.edges[edge].second);
          }
        }
        up = sets.is_connected();
        if (!up) {
          continue;
        }
      }
      spectrum[position] += increment;
      for (std::int32_t earlier = 0; earlier <= position; ++earlier) {
        bim_spectra[order[earlier] - 1][position] += increment;
      }
    }
  }
}

}  // namespace varnak::reference
