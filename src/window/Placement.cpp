#include "Placement.h"

#include <algorithm>

namespace sesame {

namespace {

// One axis: first pull the far edge in, then the near one, so that the near
// edge wins when both cannot be inside.
int shift(int start, int length, int areaStart, int areaLength)
{
    const int pulledIn = std::min(start, areaStart + areaLength - length);
    return std::max(pulledIn, areaStart) - start;
}

} // namespace

QPoint offsetOntoScreen(const QRect &frame, const QRect &available)
{
    if (available.isEmpty())
        return {};
    return {shift(frame.x(), frame.width(), available.x(), available.width()),
            shift(frame.y(), frame.height(), available.y(), available.height())};
}

} // namespace sesame
