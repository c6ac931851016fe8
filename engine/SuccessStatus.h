#pragma once

#include <array>
#include <cstdint>

// Any status but 02 is success, and each unit keeps to its own value. A success value other than the
// one this unit has answered most in this pass may be a damaged 02, so the step it answers is doubtful.
// The first one of a pass is held against the value of the last pass (at first 00): a damaged 02 there
// must not become what the whole pass takes for success.
class SuccessStatus
{
public:
    // Counts afresh; the value most answered so far stays as the expectation for the first step.
    void startPass();
    // Takes the status of one successful step; true when the step is doubtful.
    bool doubts(std::uint8_t value);
    // Whether this value has answered a step already in this pass.
    bool seen(std::uint8_t value) const { return counts[value] > 0; }
    int usualValue() const { return usual; }

private:
    std::array<int, 256> counts{};
    int usual = 0;
};
