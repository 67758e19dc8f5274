// What became of a usage report's POST, for the run's record.
#pragma once

#include <cstdint>

namespace zr {

struct ReportDelivery {
  enum class Outcome {
    kAnswered,    // the endpoint answered: `status`
    kRedirected,  // it answered with a redirection (`status`), which is not followed
    kFailed,      // a step failed before an answer came: `error` (a WinINet or Windows code)
    kTimedOut,    // no answer within the report's time (the POST was given up)
  };
  Outcome outcome = Outcome::kFailed;
  uint32_t status = 0;
  uint32_t error = 0;
};

}  // namespace zr
