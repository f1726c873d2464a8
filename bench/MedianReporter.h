#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

// The console table, plus each benchmark's median CPU time (or its only
// run's, without repetitions) by "name/args", for the ratios printed after it.
class MedianReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &run : runs) {
            const std::string key = run.run_name.function_name + "/" + run.run_name.args;
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
                medians[key] = run.GetAdjustedCPUTime();
                haveMedian[key] = true;
            } else if (run.run_type == Run::RT_Iteration && !haveMedian[key]) {
                medians[key] = run.GetAdjustedCPUTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, bool> haveMedian;
    std::map<std::string, double> medians;
};
