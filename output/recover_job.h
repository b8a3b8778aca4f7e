// The recover job: writes out what the user ticked. Contacts and
// conversations become the reports Contacts.html and Messages.html with
// their exports (export_formats.h) in a folder of their category, found
// files become copies read back from their disk, under the output root:
//
//   <root>/Contacts(N)/Contacts.html, Contacts.vcf, Contacts.csv
//   <root>/Messages(N)/Messages.html, Messages.xml, Messages.csv
//   <root>/disk<YYYYmmddHHMMSS>/<group>/<offset / 512>.<suffix>
//
// N is the number of records written. The job runs on a worker thread; the
// window reads its progress while it runs and stops it through
// recoverState (recover_state.h).
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "dbrecover/contact_item.h"
#include "dbrecover/message_item.h"
#include "output/export_formats.h"
#include "src/cdr/device_tree.h"

namespace qb::output {

enum RecoverCategoryKind : int {
    kRecoverContacts = 1,
    kRecoverMessages = 2,
    kRecoverDisk = 3,
};

// One found file as the job sees it: the record copied from the scan (its
// group link cleared), so that a scan that goes on adding files, or a tree
// freed later, never reaches the job.
struct RecoverFile {
    cdr::FileItem item;
    cdr::DiskHandle input;  // the partition's copy handle; null: it cannot be read
    bool selected = true;
};

struct RecoverGroup {
    std::string name;  // "jpg", "zip", ...
    std::vector<RecoverFile> files;
};

// One category of the tree, in tree order.
struct RecoverCategory {
    int kind = kRecoverContacts;
    // Contacts and conversations in list order (borrowed); their selected
    // flags say which are written.
    const std::vector<dbrecover::ContactItem*>* contacts = nullptr;
    const std::vector<dbrecover::MsgThread*>* threads = nullptr;
    // The inputs the records came from, for the reports (borrowed; may be null).
    const Evidence* evidence = nullptr;
    // A disk: its name as shown, and its groups as they were when the job
    // started.
    std::string diskName;
    std::vector<RecoverGroup> groups;
};

// What the dialog shows while the job runs: written by the worker, read by
// the dialog's timer, always as a whole.
class RecoverProgress {
public:
    struct View {
        std::uint64_t total = 0;
        std::uint64_t done = 0;
        std::string currentName = "None";
    };
    View Read() const;
    // A new job of `total` records and files: none done, no name yet.
    void Start(std::uint64_t total);
    void Add(std::uint64_t done);
    void SetCurrentName(std::string name);

private:
    mutable std::mutex lock_;
    View view_;
};

struct RecoverOutcome {
    std::uint64_t total = 0;
    std::uint64_t done = 0;
    std::uint64_t filesWhole = 0;     // copies with every byte of their file
    std::uint64_t filesCutShort = 0;  // copies stopped or failed, kept as "<name>.partial" when begun
    std::vector<std::string> reports;   // the reports written
    std::vector<std::string> problems;  // what could not be written, with the reason
    bool stopped = false;
};

// The folder label of a contacts or messages category: "Contacts(N)" or
// "Messages(N)".
std::string CategoryLabel(int kind, std::uint64_t count);

// The suffix a copy carries until its last byte is written.
inline constexpr char kPartialSuffix[] = ".partial";

// Counts, then writes every category in order into outputRoot (UTF-8, an
// existing folder), reporting through progress. Sets recoverState to
// running at the start and ends early once it is stop-requested (between
// categories and files; a running copy ends at its next piece). The caller
// sets recoverState to finished afterwards. Records count as done once
// every chosen file of their category is written.
RecoverOutcome RunRecoverJob(const std::vector<RecoverCategory>& categories, const std::string& outputRoot,
                             RecoverProgress& progress, const std::string& templatePath,
                             const ExportFormats& formats = {});

// One line for the end of a job: the files written whole and cut short, and
// each report that could not be written.
std::string RecoverSummary(const RecoverOutcome& outcome);

}  // namespace qb::output
