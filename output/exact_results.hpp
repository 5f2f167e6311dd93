#pragma once

#include <string>
#include <string_view>

#include "output/result_formats.hpp"

namespace varnak {

// Reads the JSON report of `varnak-tools exact` held in `text`, `file_name` naming it in
// messages, with the checks the command's own figures pass: srlg_count S giving the length
// of every array and the S x S shape of both tables; subsets[k-1] = C(S, k); every count a
// whole number in its possible range (connected k-subsets at most C(S, k), with SRLG s at
// most C(S-1, k-1) and at least the connected ones less those without s); each share the
// correctly rounded quotient of its counts; shares that never fall as k grows, all 1 when
// the free edges connect; BIM column k adding up to k times the connected k-subsets; the
// diagram's figures exactly when exact_method is "diagram"; the pairwise figures all
// together or not at all, consistent with the terminals and the counts. Keys the report
// does not name are passed over; a repeated key is refused. The run's time is NaN when the
// report gives null.
//
// Returns 0, or 1 with `failure` set to one line naming the file, the line and the value
// at fault, control bytes shown as \xNN.
int parse_exact_results(std::string_view text, const std::string& file_name, ExactReport& report,
                        std::string& failure);

}  // namespace varnak
