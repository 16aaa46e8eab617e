#pragma once

#include <functional>

namespace zef::bench {

// Runs the event loop until `done` or the limit; polls every millisecond.
bool RunUntil(const std::function<bool()>& done, int limitMs);
// Runs the event loop for a span, waiting for events rather than polling.
void RunFor(int ms);

// How much of a span the window thread is held up: a 10 ms timer that comes late by the time
// the thread spent elsewhere. `meanwhile` runs on the window thread every 100 ms.
struct Held {
    double share = 0;
    double worstMs = 0;
};
Held HeldWhile(int spanMs, const std::function<void()>& meanwhile = {});
void PrintHeld(const char* what, const Held& held);

} // namespace zef::bench
