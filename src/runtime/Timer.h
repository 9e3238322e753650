#pragma once

#include <QTime>

namespace sesame {

// Seconds elapsed since local midnight, with their fraction. Single precision
// on purpose: this is the number the random source is seeded from, and its
// resolution (about 1/128 s late in the day) is part of how seeds differ.
inline float Timer()
{
    return static_cast<float>(QTime::currentTime().msecsSinceStartOfDay() / 1000.0);
}

} // namespace sesame
