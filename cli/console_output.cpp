#include "cli/console_output.h"

#include <iostream>

#include "platform/console.h"

namespace qb::cli {

ProgressLine::ProgressLine(std::string label) : label_(std::move(label)), active_(platform::StderrIsTerminal()) {}

ProgressLine::~ProgressLine() { Finish(); }

void ProgressLine::Step(unsigned step, unsigned steps) {
    if (!active_ || steps == 0) return;
    std::cerr << "\r" << label_ << ": step " << step << " of " << steps << " (" << step * 100 / steps << "%)"
              << std::flush;
    shown_ = true;
}

void ProgressLine::Finish() {
    if (shown_) std::cerr << "\n";
    shown_ = false;
}

void PrintProblems(const std::vector<std::string>& problems) {
    for (const std::string& p : problems) std::cerr << "quillbrook: " << p << "\n";
}

namespace {

void PrintReport(std::ostream& out, const char* name, const output::ReportResult& r, bool& written) {
    switch (r.status) {
    case output::ReportStatus::Written:
        out << "  " << name << " written to " << r.path << "\n";
        written = true;
        break;
    case output::ReportStatus::NothingToWrite:
        out << "  " << name << " not written: nothing was recovered\n";
        break;
    default:
        std::cerr << "quillbrook: " << name << " not written: " << r.reason << " (" << r.path << ")\n";
        break;
    }
}

}  // namespace

void PrintCounts(std::ostream& out, const RecoveredData& data) {
    const Counts c = CountRecovered(data);
    out << "Contacts:      " << c.contacts << " (" << c.deletedContacts << " deleted)\n"
        << "Conversations: " << c.conversations << " (" << c.deletedConversations << " deleted)\n"
        << "Messages:      " << c.messages << "\n";
}

int PrintRecoverySummary(std::ostream& out, const RecoveredData& data, const ReportOutcome& reports) {
    PrintCounts(out, data);
    out << "Reports:\n";
    bool written = false;
    if (reports.formats.html) {
        PrintReport(out, "Contacts.html", reports.contacts, written);
        PrintReport(out, "Messages.html", reports.messages, written);
    }
    for (const output::ReportResult& r : reports.exports) {
        const std::string name = r.path.substr(r.path.find_last_of("/\\") + 1);
        PrintReport(out, name.c_str(), r, written);
    }
    if (!reports.formats.html && reports.exports.empty()) out << "  none written: nothing was recovered\n";
    return written ? 0 : 1;
}

}  // namespace qb::cli
