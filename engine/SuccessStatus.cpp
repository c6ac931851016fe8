#include "SuccessStatus.h"

void SuccessStatus::startPass()
{
    counts.fill(0);
}

bool SuccessStatus::doubts(std::uint8_t value)
{
    const bool doubtful = value != usual;
    ++counts[value];
    if (counts[value] > counts[usual])
        usual = value;
    return doubtful;
}
