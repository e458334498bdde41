#pragma once

#include <functional>
#include <string>
#include <vector>

// The one-minute load average of /proc/loadavg; negative when it cannot be read.
double OneMinuteLoad();

// The middle value (the mean of the two middle ones for an even count); 0 for none.
double Median(std::vector<double> values);

// Wall-clock seconds that `work` takes.
double Seconds(const std::function<void()>& work);

// One figure measured against its goal. Made when the measure begins, it notes the load
// average then; Report notes it again, prints the figure beside its goal with both loads, and a
// line more when either was above 1 (the figure is then an upper bound). The figures reported
// so far are kept for PrintGoalSummary.
class GoalMeasure {
public:
    explicit GoalMeasure(std::string what);
    void Report(const std::string& figure, const std::string& goal, bool met);

private:
    std::string m_what;
    double m_loadAtStart;
};

// Every figure reported in this run, one line each, as a table.
void PrintGoalSummary();

// `value` with `digits` decimals.
std::string Fixed(double value, int digits);
