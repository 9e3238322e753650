#pragma once

#include <map>
#include <string>
#include <vector>

// The benchmark's figures: samples by name, reported as medians.
class Report
{
public:
    void add(const std::string &name, double ms) { mSamples[name].push_back(ms); }
    double median(const std::string &name) const;
    // The lines for people, then those for machines, the five timings last.
    void print(int repetitions, int soundRepetitions) const;

private:
    std::map<std::string, std::vector<double>> mSamples;
};
