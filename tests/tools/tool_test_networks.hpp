#pragma once

#include "instance/network_instance.hpp"

namespace varnak::tool_test_networks {

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

//  1 ---e1--- 2      SRLG 1 = {e1}
//  |          |      SRLG 2 = {e2, e3}
//  e4         e2     SRLG 3 = {e3}
//  |          |      e4 is in no SRLG: up from the start
//  4 ---e3--- 3
inline NetworkInstance worked_ring() {
  NetworkInstance ring;
  ring.vertex_count = 4;
  ring.edge_count = 4;
  ring.srlg_count = 3;
  ring.edges = {{1, {1, 2}}, {2, {2, 3}}, {3, {3, 4}}, {4, {1, 4}}};
  ring.srlgs = {{1, {1}}, {2, {2, 3}}, {3, {3}}};
  ring.edge_srlg_count = {{1, 1}, {2, 1}, {3, 2}, {4, 0}};
  return ring;
}

}  // namespace varnak::tool_test_networks
