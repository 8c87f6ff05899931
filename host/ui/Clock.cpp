#include "host/ui/Clock.h"

#include <chrono>
#include <cstdlib>

namespace host {
namespace ui {

namespace {

struct ClockState {
    bool stepped = false;
    double step = 0.0;
    double value = 0.0;
};

ClockState ReadEnvironment() {
    ClockState clock;
    const char* text = std::getenv("ZK_HOST_CLOCK_STEP_MS");
    if (text && *text) {
        char* end = nullptr;
        const long ms = std::strtol(text, &end, 10);
        if (*end == '\0' && ms >= 0 && ms <= 3600000) {
            clock.stepped = true;
            clock.step = static_cast<double>(ms) / 1000.0;
        }
    }
    return clock;
}

ClockState& State() {
    static ClockState clock = ReadEnvironment();
    return clock;
}

} // namespace

double Now() {
    ClockState& clock = State();
    if (clock.stepped) {
        const double now = clock.value;
        clock.value += clock.step;
        return now;
    }
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

bool IsClockStepped() {
    return State().stepped;
}

void SetClockStep(double stepSeconds) {
    ClockState& clock = State();
    clock.stepped = stepSeconds >= 0.0;
    clock.step = stepSeconds;
    clock.value = 0.0;
}

} // namespace ui
} // namespace host
