// The recover job's folder tree, as the Windows application leaves it, for
// the commands that end with it (phone, demo):
//
//   DIR/QuillbrookHome<YYYYmmddHHMMSS>/Contacts(N)/Contacts.html, .vcf, .csv
//                                     /Messages(N)/Messages.html, .xml, .csv
//                                     /disk<YYYYmmddHHMMSS>/<group>/<offset / 512>.<suffix>
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "cli/database_recovery.h"
#include "output/recover_job.h"
#include "src/cdr/device_tree.h"

namespace qb::cli {

// DIR/QuillbrookHome<local time>, created with its parents; empty when it
// cannot be made.
std::string MakeOutputRoot(const std::string& out);

// Every recovered contact and conversation (as loaded, all ticked).
std::vector<output::RecoverCategory> RecordCategories(const RecoveredData& data);
// The files a scan found under the scanned node, by group.
output::RecoverCategory ScannedDiskCategory(const cdr::DeviceNode& scanned);

// Runs the job into root on this thread, writing the chosen formats, and
// prints the reports written, the files written whole and cut short, and
// what could not be written (on stderr).
output::RecoverOutcome WriteRecovered(const std::vector<output::RecoverCategory>& categories, const std::string& root,
                                      std::ostream& summary, const output::ExportFormats& formats = {});

}  // namespace qb::cli
