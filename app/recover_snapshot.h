// The recover job's view of a scanned disk, taken on the window's thread
// when the job starts: the disk's type groups and the rows published so
// far, each found file copied together with its partition's copy handle. A
// scan that goes on adding files after that never reaches the job, and the
// job reads nothing that Back could free.
#pragma once

#include <string>

#include "app/scan_model.h"
#include "output/recover_job.h"

namespace qb::app {

output::RecoverCategory RecoverDiskOf(const ScanNode& disk);

}  // namespace qb::app
