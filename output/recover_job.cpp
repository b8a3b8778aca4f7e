#include "output/recover_job.h"

#include <utility>

#include "dbrecover/message_assembly.h"
#include "output/html_report.h"
#include "output/recover_state.h"
#include "platform/file.h"
#include "platform/text.h"
#include "src/cdr/carving_engine.h"

namespace qb::output {
namespace {

bool Stopping() { return recoverState.load() == kRecoverStopRequested; }

template <typename Record>
std::vector<Record*> SelectedOf(const std::vector<Record*>* records) {
    std::vector<Record*> selected;
    if (records == nullptr) return selected;
    for (Record* record : *records) {
        if (record != nullptr && record->selected != 0) selected.push_back(record);
    }
    return selected;
}

std::uint64_t SelectedFiles(const RecoverCategory& category) {
    std::uint64_t count = 0;
    for (const RecoverGroup& group : category.groups) {
        for (const RecoverFile& file : group.files) count += file.selected ? 1 : 0;
    }
    return count;
}

// Whether any chosen format has a file for the category's records: a job
// of message backups alone leaves the contacts out.
bool WritesAny(const ExportFormats& f, int kind) {
    return f.html || f.csv || (kind == kRecoverContacts ? f.vcf : f.xml);
}

std::uint64_t SelectedCount(const RecoverCategory& category, const ExportFormats& formats) {
    switch (category.kind) {
    case kRecoverContacts:
        return WritesAny(formats, category.kind) ? SelectedOf(category.contacts).size() : 0;
    case kRecoverMessages:
        return WritesAny(formats, category.kind) ? SelectedOf(category.threads).size() : 0;
    case kRecoverDisk:
        return SelectedFiles(category);
    default:
        return 0;
    }
}

// A name from the scan as one element of a path: it can never lead out of
// its folder.
std::string PathElement(std::string name) {
    for (char& c : name) {
        if (c == '/' || c == '\\' || c == ':') c = '_';
    }
    if (name.empty() || name == "." || name == "..") name = "_" + name;
    return name;
}

// The target itself, or, when a copy of that name is already there (two
// disks written within the same second share their folder), the name with
// " (2)", " (3)", ... before its suffix: no copy ever replaces another.
std::string FreeTarget(const std::string& folder, const std::string& name) {
    const std::string plain = platform::JoinPath(folder, name);
    auto taken = [](const std::string& path) {
        return platform::FileExists(path) || platform::FileExists(path + kPartialSuffix);
    };
    if (!taken(plain)) return plain;
    const std::size_t dot = name.rfind('.');
    const std::string stem = dot == std::string::npos ? name : name.substr(0, dot);
    const std::string suffix = dot == std::string::npos ? "" : name.substr(dot);
    for (int n = 2; n < 100000; ++n) {
        const std::string candidate = platform::JoinPath(folder, stem + " (" + std::to_string(n) + ")" + suffix);
        if (!taken(candidate)) return candidate;
    }
    return plain;
}

class Job {
public:
    Job(const std::string& root, RecoverProgress& progress, const std::string& templatePath,
        const ExportFormats& formats)
        : root_(root), progress_(progress), templatePath_(templatePath), formats_(formats) {}

    void Records(const RecoverCategory& category) {
        const bool contacts = category.kind == kRecoverContacts;
        progress_.SetCurrentName(contacts ? "Contacts" : "Messages");
        const auto selectedContacts = SelectedOf(category.contacts);
        const auto selectedThreads = SelectedOf(category.threads);
        const std::uint64_t count = contacts ? selectedContacts.size() : selectedThreads.size();
        if (count == 0 || !WritesAny(formats_, category.kind)) return;
        const std::string folder = platform::JoinPath(root_, CategoryLabel(category.kind, count));
        if (!platform::CreateFolders(folder)) {
            outcome.problems.push_back("Could not create " + folder);
            return;
        }
        DomainExport exportObject =
            contacts ? DomainExport(selectedContacts, folder) : DomainExport(selectedThreads, folder);
        exportObject.templatePath = templatePath_;
        exportObject.evidence = category.evidence;
        bool whole = true;
        for (const ReportResult& result : ExportRecords(exportObject, formats_)) {
            if (result.status == ReportStatus::Written) {
                outcome.reports.push_back(result.path);
            } else {
                // Not written is not done: the end of the job names it instead.
                outcome.problems.push_back("Could not write " + result.path + ": " + result.reason);
                whole = false;
            }
        }
        if (whole) Done(count);
    }

    void Files(const RecoverCategory& category) {
        progress_.SetCurrentName(category.diskName);
        if (Stopping()) return;
        const std::string disk = platform::JoinPath(
            root_, "disk" + platform::FormatLocalTime(dbrecover::ClampDateSeconds(platform::CurrentTimeSeconds()),
                                                      "%Y%m%d%H%M%S"));
        for (const RecoverGroup& group : category.groups) {
            if (Stopping()) return;
            const std::string folder = platform::JoinPath(disk, PathElement(group.name));
            for (const RecoverFile& file : group.files) {
                if (Stopping()) return;
                if (!file.selected) continue;
                Copy(file, folder);
                Done(1);
            }
        }
    }

    RecoverOutcome outcome;

private:
    void Done(std::uint64_t count) {
        outcome.done += count;
        progress_.Add(count);
    }

    // Written under "<name>.partial" and renamed once every byte is there, so
    // that a copy cut short never looks complete.
    void Copy(const RecoverFile& file, const std::string& folder) {
        if (!platform::CreateFolders(folder)) {
            ++outcome.filesCutShort;
            outcome.problems.push_back("Could not create " + folder);
            return;
        }
        if (!file.input) {
            ++outcome.filesCutShort;
            return;
        }
        const std::string target = FreeTarget(folder, PathElement(file.item.name));
        const std::string partial = target + kPartialSuffix;
        const cdr::CopyOutcome copied = cdr::ExtractFile(file.item, partial, *file.input, &RecoverCopyCancel);
        if (copied == cdr::CopyOutcome::Complete && platform::RenameFile(partial, target)) {
            ++outcome.filesWhole;
        } else {
            ++outcome.filesCutShort;
        }
    }

    const std::string& root_;
    RecoverProgress& progress_;
    const std::string& templatePath_;
    const ExportFormats& formats_;
};

}  // namespace

RecoverProgress::View RecoverProgress::Read() const {
    std::lock_guard hold(lock_);
    return view_;
}

void RecoverProgress::Start(std::uint64_t total) {
    std::lock_guard hold(lock_);
    view_ = View {};
    view_.total = total;
}

void RecoverProgress::Add(std::uint64_t done) {
    std::lock_guard hold(lock_);
    view_.done += done;
}

void RecoverProgress::SetCurrentName(std::string name) {
    std::lock_guard hold(lock_);
    view_.currentName = std::move(name);
}

std::string CategoryLabel(int kind, std::uint64_t count) {
    return std::string(kind == kRecoverContacts ? "Contacts" : "Messages") + "(" + std::to_string(count) + ")";
}

RecoverOutcome RunRecoverJob(const std::vector<RecoverCategory>& categories, const std::string& outputRoot,
                             RecoverProgress& progress, const std::string& templatePath,
                             const ExportFormats& formats) {
    recoverState.store(kRecoverRunning);
    Job job(outputRoot, progress, templatePath, formats);
    for (const RecoverCategory& category : categories) job.outcome.total += SelectedCount(category, formats);
    progress.Start(job.outcome.total);
    for (const RecoverCategory& category : categories) {
        if (Stopping()) break;
        if (category.kind == kRecoverDisk) {
            job.Files(category);
        } else if (category.kind == kRecoverContacts || category.kind == kRecoverMessages) {
            job.Records(category);
        }
    }
    job.outcome.stopped = Stopping();
    return std::move(job.outcome);
}

std::string RecoverSummary(const RecoverOutcome& outcome) {
    std::string summary;
    const std::uint64_t files = outcome.filesWhole + outcome.filesCutShort;
    if (files > 0) {
        summary = std::to_string(outcome.filesWhole) + (outcome.filesWhole == 1 ? " file" : " files") +
                  " written whole";
        if (outcome.filesCutShort > 0) {
            summary += ", " + std::to_string(outcome.filesCutShort) + " cut short (kept as " + kPartialSuffix + ")";
        }
        summary += ".";
    }
    for (const std::string& problem : outcome.problems) summary += (summary.empty() ? "" : "\n") + problem + ".";
    return summary;
}

}  // namespace qb::output
