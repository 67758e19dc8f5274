// Outcome codes of the update phases (32-bit signed). They travel in the usage report, so a
// value is never reused for another meaning.
#pragma once

#include <cstdint>

namespace zr {

inline constexpr int32_t RESULT_OK = 0;
inline constexpr int32_t RESULT_MANIFEST_INVALID = 1005;  // manifest unreadable or unusable
inline constexpr int32_t RESULT_MOVE_FAILED = 4001;       // a file could not be moved into place
inline constexpr int32_t RESULT_USER_CANCELLED = 4002;    // the user kept the product running
inline constexpr int32_t RESULT_CLOSE_FAILED = 4003;      // the product's process would not end

}  // namespace zr
