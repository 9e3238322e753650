#include "Timer.h"

#include <chrono>
#include <ctime>

namespace sesame {

float Timer()
{
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t seconds = system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&seconds, &local);
    const auto fraction = duration<double>(now - system_clock::from_time_t(seconds)).count();
    const double sinceMidnight = local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec + fraction;
    return static_cast<float>(sinceMidnight);
}

} // namespace sesame
