#pragma once

namespace varnak {

// Ends the process with `what` on standard error. For states that correct code never
// reaches: returning a plausible value instead would hide a wrong result, in every build.
[[noreturn]] void broken_invariant(const char* what);

}  // namespace varnak
