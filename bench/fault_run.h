#pragma once

#include "link/serial_channel.h"

#include <cstdint>
#include <string>

namespace zef::bench {

struct FaultRunOptions {
    int exchanges = 10000;
    std::uint64_t seed = 1;
};

struct FaultRunReport {
    int exchanges = 0;
    int wrongAnswers = 0;       // returned true with another request's answer
    int noiseTakenForReply = 0; // of them, four bytes of noise in place of the reply
    int longestWrongRun = 0;
    int failed = 0;     // unanswered, or voided with their burst
    int voidBursts = 0; // bursts whose words were all thrown away for stray bytes
    int lateReplies = 0;
    int lateBeyondBound = 0; // finished only after the next request had gone out
    int lateAnsweredInTime = 0;
    int splitReplies = 0;
    int surplusReplies = 0;
    int garbageReplies = 0;
    // Wrong answers by the fault of the request just before.
    int wrongAfterLate = 0;
    int wrongAfterOther = 0;
    LinkFigures figures;
    double seconds = 0;
    // With the device gone and the port left open, as the window leaves it.
    double goneProcessorShare = 0;
    int goneExchangesFailed = 0;
    double goneExchangeMillis = 0;
    bool deviceLost = false;
    std::string deviceError;
    std::string error; // why the run could not be made
};

// Monitor-like bursts of eleven exchanges every 350 ms through the real serial port on a
// pseudo-terminal, against a simulated controller that answers some replies late, in two
// pieces or with surplus bytes; then the device is taken away under the running event loop.
[[nodiscard]] FaultRunReport RunFaults(const FaultRunOptions& options);

} // namespace zef::bench
