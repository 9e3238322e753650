#include "Report.h"

#include <algorithm>
#include <cstdio>

double Report::median(const std::string &name) const
{
    std::vector<double> values = mSamples.at(name);
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void Report::print(int repetitions, int soundRepetitions) const
{
    std::printf("repetitions: %d of clicks, cue and floor interleaved; %d of chime and paplay interleaved\n",
                repetitions, soundRepetitions);
    for (const auto &[name, what] :
         std::vector<std::pair<std::string, const char *>>{{"flushed10", "click \"10\" to board flushed to X"},
                                                           {"flushed50000", "click \"50,000\" to board flushed to X"},
                                                           {"click10", "click \"10\" to board on the X server"},
                                                           {"click10again", "the same, after a run of 10"},
                                                           {"click50000", "click \"50,000\" to board on the X server"},
                                                           {"floor", "floor: 50,000 seeds, numbers and pixels"},
                                                           {"roundTrip", "X server round trip, idle"},
                                                           {"cue", "run chime cue on the UI thread"},
                                                           {"chime", "click \"50,000\" to the chime heard"},
                                                           {"paplay", "paplay started to the chime heard"}})
        std::printf("  %-42s %8.3f ms\n", what, median(name));
    for (const auto &[name, what] : std::vector<std::pair<std::string, const char *>>{
             {"painted10", "click \"10\": window area painted for X"},
             {"painted10again", "the same, after a run of 10"},
             {"painted50000", "click \"50,000\": window area painted for X"}})
        std::printf("  %-42s %8.0f px\n", what, median(name));
    std::printf("click10_after10_ms %.3f\nclick10_after10_px %.0f\nclick10_px %.0f\nclick50000_px %.0f\n",
                median("click10again"), median("painted10again"), median("painted10"), median("painted50000"));
    std::printf("click10_ms %.3f\nclick50000_ms %.3f\nclick50000_over_floor %.3f\ncue_ui_ms %.3f\n"
                "chime_delay_over_paplay %.3f\n",
                median("click10"), median("click50000"), median("click50000") / median("floor"), median("cue"),
                median("chime") / median("paplay"));
}
