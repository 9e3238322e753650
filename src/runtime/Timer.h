#pragma once

namespace sesame {

// Seconds elapsed since local midnight, with their fraction. Single precision
// on purpose: this is the number the random source is seeded from, and its
// resolution (about 1/128 s late in the day) is part of how seeds differ.
float Timer();

} // namespace sesame
