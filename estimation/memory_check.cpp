#include "estimation/memory_check.hpp"

#include "common/memory_budget.hpp"
#include "estimation/spectra_estimator.hpp"

namespace varnak {
namespace {

// The XML document holds each BIM value as about eight characters and a comma, in three
// copies at once (the tree, the serialised text and the copy written out).
constexpr double kXmlBytesPerCell = 27.0;

}  // namespace

double estimate_memory_bytes(std::int64_t srlg_count, int thread_count, bool xml_file) {
  const double count = static_cast<double>(srlg_count);
  const double cells = count * count;
  return cells * 8.0 + count * 8.0 +
         static_cast<double>(estimator_scratch_bytes(srlg_count, thread_count)) +
         (xml_file ? cells * kXmlBytesPerCell : 0.0);
}

bool estimate_fits_in_memory(std::int64_t srlg_count, int thread_count, bool xml_file,
                             std::string& message) {
  const double needed = estimate_memory_bytes(srlg_count, thread_count, xml_file);
  const double available = static_cast<double>(physical_memory_bytes());
  if (needed <= available) {
    return true;
  }
  message = std::to_string(srlg_count) + " SRLGs need " + describe_bytes(needed) +
            " for the result tables" + (xml_file ? " and the XML result file" : "") +
            ", more than the " + describe_bytes(available) + " of this machine";
  return false;
}

}  // namespace varnak
