// What the command line prints: the load progress line and the summaries.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "cli/database_recovery.h"

namespace qb::cli {

// A progress line on stderr that rewrites itself, shown only when stderr is
// a terminal; Finish ends the line.
class ProgressLine {
public:
    explicit ProgressLine(std::string label);
    ~ProgressLine();
    void Step(unsigned step, unsigned steps);
    void Finish();

private:
    std::string label_;
    bool active_ = false;
    bool shown_ = false;
};

// "quillbrook: <problem>" on stderr for each problem.
void PrintProblems(const std::vector<std::string>& problems);

// The counts of what loading found.
void PrintCounts(std::ostream& out, const RecoveredData& data);

// The counts and the report files (or why a report was not written). Returns
// the process exit code: 0 when a report was written, 1 otherwise.
int PrintRecoverySummary(std::ostream& out, const RecoveredData& data, const ReportOutcome& reports);

}  // namespace qb::cli
