// What every fuzz target needs besides its input: a check that stops the run
// at once (a trap, which libFuzzer reports with the input and the replay
// tests report as a crash), and a way to keep the code's log lines, expected
// on bad input, out of the fuzzer's output.
//
//   extern "C" int LLVMFuzzerInitialize(int*, char***) {
//     vorn::fuzz::SilenceLogging();
//     return 0;
//   }
//   ... vorn::fuzz::Check(parsed == expected); ...

#ifndef VORN_FUZZ_FUZZ_CHECK_H_
#define VORN_FUZZ_FUZZ_CHECK_H_

#include <cstddef>
#include <string>

#include "base/logging/logging.h"

namespace vorn {
namespace fuzz {

// Traps when `condition` is false.
inline void Check(bool condition) {
  if (!condition) __builtin_trap();
}

// Swallows every log message for the rest of the run.
inline void SilenceLogging() {
  logging::SetLogMessageHandler([](logging::LogSeverity, const char*, int,
                                   size_t,
                                   const std::string&) { return true; });
}

}  // namespace fuzz
}  // namespace vorn

#endif  // VORN_FUZZ_FUZZ_CHECK_H_
