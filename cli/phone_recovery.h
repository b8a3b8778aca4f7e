// quillbrook phone: the main road from an attached phone to the reports.
// The bridge client gives the device state; a ready phone's databases are
// copied into the working folders, loaded, written as reports and deleted
// again, as the application does between its start and its close.
#pragma once

#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "cli/database_recovery.h"
#include "device/acquisition.h"
#include "device/adb_client.h"

namespace qb::cli {

// What the start screen shows for a phone that cannot be read: for
// NeedsAuthorization the two authorisation lines, then, for every state
// but Ready, the connection tips.
void PrintConnectionTips(std::ostream& out, device::DeviceState state);

// What went wrong in an acquisition, one line each: a working folder that
// could not be made private, a phone where no superuser form works (with
// the ROOT hint), and each database or companion that was not copied, named
// with its reason. Nothing for a phone that is not Ready.
std::vector<std::string> DescribeAcquisitionProblems(const device::AcquisitionReport& report,
                                                     const device::WorkPaths& paths);

// "SERIAL (state), ..." or "none".
std::string DescribeDevices(const std::vector<device::ListedDevice>& devices);

struct PhoneRecovery {
    device::DeviceState state = device::DeviceState::NoDevice;
    device::AcquisitionReport acquisition;
    std::string wantedSerial;  // the device asked for, if any
    // What did not come from a ready phone, each with its reason.
    std::vector<std::string> problems;
    // What loading found; empty maps unless the phone was Ready.
    std::unique_ptr<RecoveredData> data = std::make_unique<RecoveredData>();
};

// Acquires the databases into paths through the bridge client and, when the
// phone was Ready, loads the copies (progress as for RecoverDatabases).
PhoneRecovery RecoverPhone(const device::WorkPaths& paths, const device::AdbOptions& options,
                           const ProgressFn& progress);

// Prints the devices, the state and, when the phone could not be read, its
// tips (exit code 1); otherwise names what was not copied on stderr, writes
// both reports through the recover job into a new output root in out (see
// recover_output.h; *root receives it) in the chosen formats and prints the
// summary. Returns the process exit code: 0 when a report was written.
int ReportPhoneRecovery(const PhoneRecovery& recovery, const std::string& out, std::ostream& summary,
                        std::string* root = nullptr, const output::ExportFormats& formats = {});

// The whole command, with the working folders under the user's temporary
// folder, deleted at the end with everything in them, and the bridge server
// stopped. An empty adbPath means the client beside the executable (or adb
// on the PATH); an empty serial the first device ready to be read.
int RunPhone(const std::string& out, const std::string& adbPath, const std::string& serial = {},
             const output::ExportFormats& formats = {});

}  // namespace qb::cli
