#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "analysis/diagram_network.hpp"
#include "analysis/exact_count.hpp"
#include "analysis/reliability.hpp"
#include "analysis/srlg_diagram.hpp"

namespace varnak {

// The SRLG subsets that connect the network, counted by size k = 0..S (entry k), and
// those among them that hold SRLG s (row s-1).
struct SubsetCountsBySize {
  std::vector<ExactCount> connected;
  std::vector<std::vector<ExactCount>> connected_with;
};

// Counts the paths of the diagram by the number of SRLGs up, exactly.
//
// Each count is a coefficient of a polynomial of degree at most S: the spectrum's
// P(x) = sum over connected subsets A of x^|A|, and SRLG s's x_s dP/dx_s at x_i = x. They
// are evaluated at x = 0..S modulo primes below 2^62 (as many as C(S, k) < 2^S needs):
// a backward pass gives each node's polynomial to the terminal, a forward pass each
// node's polynomial from the root, and SRLG s's value is, at the level that decides it,
// the sum over its nodes of (from the root) · x · (up child to the terminal), plus the
// paths that connected before s was decided. The values are then interpolated and the
// residues joined by the Chinese remainder theorem. SRLGs that list no edge multiply by
// (1 + x). O(nodes · S · primes) modular steps, in as few passes as the memory budget
// allows (8 bytes per node and value held), and O(S^3 · primes) for the interpolation.
// Returns 0, or 1 with `failure` set when not even one value per node fits the budget.
// `progress`, when not empty, hears of each pass as it starts.
int count_diagram_subsets(const DiagramNetwork& network, const FrontierPlan& plan,
                          const SrlgDiagram& diagram, MemoryMeter& meter,
                          const std::function<void(const DiagramProgress&)>& progress,
                          SubsetCountsBySize& counts, std::string& failure);

// R when each SRLG s is up independently with probability up_probability[s] (index 0
// unused), and, for each SRLG, R with s held up and held down and their difference, its
// Birnbaum importance. One backward and one forward pass in doubles, 8 bytes per node.
int diagram_reliability(const DiagramNetwork& network, const FrontierPlan& plan,
                        const SrlgDiagram& diagram, const std::vector<double>& up_probability,
                        MemoryMeter& meter, double& reliability,
                        std::vector<SrlgImportance>& importances, std::string& failure);

}  // namespace varnak
