#include "cli/phone_recovery.h"

#include "cli/recover_output.h"

#include <iostream>

#include "cli/console_output.h"
#include "dbrecover/display_lists.h"
#include "dbrecover/recovery_driver.h"
#include "device/connection_tips.h"
#include "output/html_report.h"
#include "platform/console.h"
#include "platform/file.h"
#include "platform/notifier.h"
#include "platform/process.h"

namespace qb::cli {
namespace {

using device::CopyOutcome;
using device::DeviceState;

const char* StateText(DeviceState state) {
    switch (state) {
    case DeviceState::Ready: return "ready";
    case DeviceState::NeedsAuthorization: return "attached, but this computer is not authorised for debugging";
    case DeviceState::Detecting: return "still being detected";
    case DeviceState::NoDevice: break;
    }
    return "no phone found";
}

std::string Reason(const device::FileCopy& file) {
    std::string reason(device::CopyOutcomeName(file.outcome));
    switch (file.outcome) {
    case CopyOutcome::Missing: reason = "not on the phone"; break;
    case CopyOutcome::Refused: reason = "refused"; break;
    case CopyOutcome::CutShort: reason = "cut short, the partial copy was deleted"; break;
    case CopyOutcome::Disconnected: reason = "the phone was disconnected"; break;
    case CopyOutcome::Stopped: reason = "stopped"; break;
    case CopyOutcome::Copied:
    case CopyOutcome::Absent: break;
    }
    if (!file.detail.empty()) reason += " (" + file.detail + ")";
    return reason;
}

}  // namespace

void PrintConnectionTips(std::ostream& out, DeviceState state) {
    if (state == DeviceState::Ready) return;
    if (state == DeviceState::NeedsAuthorization) {
        out << device::kAuthorizationTitle << "\n" << device::kAuthorizationLine << "\n";
    }
    out << device::kConnectionTipsHeading << "\n";
    for (const std::string_view line : device::kConnectionTips) out << line << "\n";
}

std::string DescribeDevices(const std::vector<device::ListedDevice>& devices) {
    std::string text;
    for (const device::ListedDevice& d : devices) text += (text.empty() ? "" : ", ") + d.serial + " (" + d.state + ")";
    return text.empty() ? "none" : text;
}

std::vector<std::string> DescribeAcquisitionProblems(const device::AcquisitionReport& report,
                                                     const device::WorkPaths& paths) {
    std::vector<std::string> problems;
    if (report.state != DeviceState::Ready) return problems;
    if (!paths.folderProblem.empty()) {
        problems.push_back("nothing was copied from the phone: the working folder is not private to this user: " +
                           paths.folderProblem);
        return problems;
    }
    if (report.superuser == device::SuperuserForm::None && !report.stopped) {
        problems.push_back(
            "nothing was copied from the phone: no superuser command works on it (tried \"su root\", \"su -c\" and "
            "\"su 0\"); reading contacts and messages needs ROOT access on the phone");
        return problems;
    }
    for (const device::FileCopy& file : report.files) {
        if (file.outcome == CopyOutcome::Copied || file.outcome == CopyOutcome::Absent) continue;
        problems.push_back("cannot copy " + file.remotePath + ": " + Reason(file));
    }
    if (report.stopped) problems.push_back("the acquisition was stopped before its end");
    return problems;
}

PhoneRecovery RecoverPhone(const device::WorkPaths& paths, const device::AdbOptions& options,
                           const ProgressFn& progress) {
    PhoneRecovery recovery;
    recovery.wantedSerial = options.serial;
    platform::CallbackNotifier notifier([&](std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
        if (message == dbrecover::WMU_LOAD_PROGRESS && progress) {
            progress(static_cast<unsigned>(wParam), static_cast<unsigned>(lParam));
        }
    });
    recovery.acquisition = device::AcquireDatabases(paths, notifier, options);
    recovery.state = recovery.acquisition.state;
    if (recovery.state != DeviceState::Ready) return recovery;

    recovery.problems = DescribeAcquisitionProblems(recovery.acquisition, paths);
    RecoveredData& data = *recovery.data;
    data.evidence = output::CollectEvidence({paths.contactsDb, paths.contactsBackup, paths.messagesDb, paths.messagesBackup});
    dbrecover::LoadContacts(paths.contactsDb, paths.contactsBackup, data.contacts, notifier);
    dbrecover::LoadMessages(data.contacts, paths.messagesDb, paths.messagesBackup, data.threads, notifier);
    data.lists = dbrecover::BuildDisplayLists(data.contacts, data.threads);
    return recovery;
}

int ReportPhoneRecovery(const PhoneRecovery& recovery, const std::string& out, std::ostream& summary,
                        std::string* root, const output::ExportFormats& formats) {
    const device::AcquisitionReport& acquisition = recovery.acquisition;
    summary << "Devices attached: " << DescribeDevices(acquisition.devices) << "\n";
    summary << "Phone: " << StateText(recovery.state);
    if (!acquisition.serial.empty()) summary << " (" << acquisition.serial << ")";
    summary << "\n";
    if (recovery.state != DeviceState::Ready) {
        if (!recovery.wantedSerial.empty() && recovery.state == DeviceState::NoDevice) {
            PrintProblems({"no device " + recovery.wantedSerial + " is ready among those attached"});
        }
        PrintConnectionTips(summary, recovery.state);
        return 1;
    }
    if (acquisition.superuser != device::SuperuserForm::None) {
        summary << "Superuser: " << device::SuperuserFormName(acquisition.superuser) << "\n";
    }
    PrintProblems(recovery.problems);
    PrintCounts(summary, *recovery.data);
    const std::string folder = MakeOutputRoot(out);
    if (root != nullptr) *root = folder;
    if (folder.empty()) {
        PrintProblems({"cannot create a folder in " + out});
        return 1;
    }
    summary << "Recovered into " << folder << ":\n";
    const output::RecoverOutcome outcome = WriteRecovered(RecordCategories(*recovery.data), folder, summary, formats);
    if (outcome.reports.empty()) summary << "  no report: nothing was recovered\n";
    return outcome.reports.empty() ? 1 : 0;
}

int RunPhone(const std::string& out, const std::string& adbPath, const std::string& serial,
             const output::ExportFormats& formats) {
    device::AdbOptions options;
    options.serial = serial;
    options.clientPath = adbPath.empty() ? device::AdbClientPath() : adbPath;
    // A bare program name that is not a file here is looked up as a shell would.
    if (adbPath.find_first_of("/\\") == std::string::npos && !platform::FileExists(options.clientPath)) {
        if (std::string found = platform::FindProgramOnPath(adbPath); !found.empty()) options.clientPath = found;
    }
    if (!platform::FileExists(options.clientPath)) {
        PrintProblems({"no Android Debug Bridge client at " + options.clientPath + " (name one with --adb PATH)"});
    }
    const device::WorkPaths paths = device::BuildWorkPaths(platform::TempFolder());
    // A slow or absent phone can keep the client busy for many seconds.
    if (platform::StderrIsTerminal()) std::cerr << "Asking the phone through " << options.clientPath << " ...\n";

    ProgressLine progress("Loading contacts and messages");
    const PhoneRecovery recovery =
        RecoverPhone(paths, options, [&](unsigned step, unsigned steps) { progress.Step(step, steps); });
    progress.Finish();
    const int code = ReportPhoneRecovery(recovery, out, std::cout, nullptr, formats);
    // The copies hold the phone's contacts and messages: nothing of them
    // stays behind, and neither does the bridge server this run started.
    device::RemoveWorkFolders(paths);
    device::KillServer(options);
    return code;
}

}  // namespace qb::cli
