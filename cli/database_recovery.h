// The contacts-and-messages road of the command line: stage copies of the
// given databases in a private working folder (the way acquisition lays them
// out, so the user's files are never opened for writing), load them with
// progress, and write the two reports.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dbrecover/contact_item.h"
#include "dbrecover/display_lists.h"
#include "dbrecover/message_item.h"
#include "output/evidence.h"
#include "output/export_formats.h"
#include "output/html_report.h"

namespace qb::cli {

struct DatabaseInputs {
    std::string contacts;        // pulled copy; its -wal and -shm are taken along
    std::string contactsBackup;  // optional
    std::string messages;
    std::string messagesBackup;  // optional
};

// What loading found. Display lists point into the maps, so the object stays
// where it was made.
struct RecoveredData {
    dbrecover::ContactMap contacts;
    dbrecover::ThreadMap threads;
    dbrecover::DisplayLists lists;
    // The inputs, named at the top of the reports.
    output::Evidence evidence;

    RecoveredData() = default;
    RecoveredData(const RecoveredData&) = delete;
    RecoveredData& operator=(const RecoveredData&) = delete;
};

struct Counts {
    std::size_t contacts = 0;
    std::size_t deletedContacts = 0;
    std::size_t conversations = 0;
    std::size_t deletedConversations = 0;
    std::size_t messages = 0;
};
Counts CountRecovered(const RecoveredData& data);

// Called with each finished load step (1 to 8) and the number of steps.
using ProgressFn = std::function<void(unsigned step, unsigned steps)>;

// Stages the inputs, runs both loaders and builds the display lists. An
// input that cannot be read is named in problems with its reason and left
// out; the rest goes on.
std::unique_ptr<RecoveredData> RecoverDatabases(const DatabaseInputs& inputs, const ProgressFn& progress,
                                                std::vector<std::string>& problems);

struct ReportOutcome {
    output::ExportFormats formats;
    output::ReportResult contacts;  // Contacts.html
    output::ReportResult messages;  // Messages.html
    // The other files that had something to write: Contacts.vcf,
    // Messages.xml, Contacts.csv, Messages.csv, as chosen.
    std::vector<output::ReportResult> exports;
    bool AnyWritten() const;
};

// Writes Contacts.html and Messages.html of everything recovered into the
// folder (created if needed), with the exports of the chosen formats.
ReportOutcome WriteReports(const RecoveredData& data, const std::string& folder, const std::string& templatePath,
                           const output::ExportFormats& formats = {});

}  // namespace qb::cli
