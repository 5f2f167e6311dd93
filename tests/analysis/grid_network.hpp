#pragma once

#include "instance/network_instance.hpp"
#include "tests/support/instance_generator.hpp"

namespace varnak::analysis_networks {

// 1 ---e1--- 2 ---e2--- 3
// |          |          |      SRLG i = {ei}, i = 1..7
// e3         e4         e5
// |          |          |
// 4 ---e6--- 5 ---e7--- 6
//
// 15 spanning trees; every edge lies on a cycle, so any 6 edges connect, and so do 7.
inline NetworkInstance grid_2x3() {
  NetworkInstance grid;
  grid.vertex_count = 6;
  grid.edge_count = 7;
  grid.srlg_count = 7;
  grid.edges = {{1, {1, 2}}, {2, {2, 3}}, {3, {1, 4}}, {4, {2, 5}},
                {5, {3, 6}}, {6, {4, 5}}, {7, {5, 6}}};
  for (std::int32_t i = 1; i <= 7; ++i) {
    grid.srlgs[i] = {i};
    grid.edge_srlg_count[i] = 1;
  }
  return grid;
}

using test_networks::worked_ring;

}  // namespace varnak::analysis_networks
