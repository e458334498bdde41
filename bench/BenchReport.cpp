#include "BenchReport.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <utility>

namespace {

struct ReportedGoal {
    std::string what;
    std::string figure;
    std::string goal;
    bool met;
    double loadAtStart;
    double loadAtEnd;
};

std::vector<ReportedGoal>& Reported() {
    static std::vector<ReportedGoal> reported;
    return reported;
}

std::string Line(const ReportedGoal& r) {
    return r.what + " | " + r.figure + " | " + r.goal + " | " + (r.met ? "met" : "MISSED") +
           " | load " + Fixed(r.loadAtStart, 2) + " to " + Fixed(r.loadAtEnd, 2);
}

} // namespace

double OneMinuteLoad() {
    std::ifstream file("/proc/loadavg");
    double load = -1;
    file >> load;
    return file ? load : -1;
}

double Median(std::vector<double> values) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double Seconds(const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::string Fixed(double value, int digits) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", digits, value);
    return text;
}

GoalMeasure::GoalMeasure(std::string what)
    : m_what(std::move(what)), m_loadAtStart(OneMinuteLoad()) {}

void GoalMeasure::Report(const std::string& figure, const std::string& goal, bool met) {
    const ReportedGoal reported{m_what, figure, goal, met, m_loadAtStart, OneMinuteLoad()};
    std::printf("GOAL %s\n", Line(reported).c_str());
    if (std::max(reported.loadAtStart, reported.loadAtEnd) > 1)
        std::printf("     the machine was busy (one-minute load above 1): an upper bound\n");
    std::fflush(stdout);
    Reported().push_back(reported);
}

void PrintGoalSummary() {
    std::printf("\n| measure | figure | goal | | load average |\n|---|---|---|---|---|\n");
    for (const auto& r : Reported())
        std::printf("| %s | %s | %s | %s | %s to %s |\n", r.what.c_str(), r.figure.c_str(),
                    r.goal.c_str(), r.met ? "met" : "MISSED", Fixed(r.loadAtStart, 2).c_str(),
                    Fixed(r.loadAtEnd, 2).c_str());
}
