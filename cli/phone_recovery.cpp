#include "cli/phone_recovery.h"

#include <iostream>

#include "cli/console_output.h"
#include "dbrecover/display_lists.h"
#include "dbrecover/recovery_driver.h"
#include "output/html_report.h"
#include "platform/console.h"
#include "platform/file.h"
#include "platform/notifier.h"
#include "platform/process.h"

namespace qb::cli {
namespace {

using device::DeviceState;

constexpr const char* kAuthorizationLines[] = {
    "Authorization on device is required in order to continue.",
    "Please check your phone screen and authorize this computer as shown below.",
};

constexpr const char* kConnectionTips[] = {
    "Cannot load data from Android Phone, please : ",
    "1. Be sure you've installed the drive of your device",
    "2. Make sure device enables USB Debugging(Setting >> Applications >> Development >> USB debugging).",
    "3. If you want to recover SMS or contacts, please make sure you've got ROOT access on your Android phone.",
    "4. If you want to recover the data on the phone's SD card, you should turn on USB storage on the device.",
};

const char* StateText(DeviceState state) {
    switch (state) {
    case DeviceState::Ready: return "ready";
    case DeviceState::NeedsAuthorization: return "attached, but this computer is not authorised for debugging";
    case DeviceState::Detecting: return "still being detected";
    case DeviceState::NoDevice: break;
    }
    return "no phone found";
}

}  // namespace

void PrintConnectionTips(std::ostream& out, DeviceState state) {
    if (state == DeviceState::Ready) return;
    if (state == DeviceState::NeedsAuthorization) {
        for (const char* line : kAuthorizationLines) out << line << "\n";
    }
    for (const char* line : kConnectionTips) out << line << "\n";
}

PhoneRecovery RecoverPhone(const device::WorkPaths& paths, const device::AdbOptions& options,
                           const ProgressFn& progress) {
    PhoneRecovery recovery;
    platform::CallbackNotifier notifier([&](std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
        if (message == device::WMU_ACQUISITION_DONE) {
            recovery.state = static_cast<DeviceState>(static_cast<std::int32_t>(wParam));
        } else if (message == dbrecover::WMU_LOAD_PROGRESS && progress) {
            progress(static_cast<unsigned>(wParam), static_cast<unsigned>(lParam));
        }
    });
    device::AcquireDatabases(paths, notifier, options);
    if (recovery.state != DeviceState::Ready) return recovery;

    for (const device::RemoteFile& file : device::kRemoteFiles) {
        const std::string& local = paths.*file.localPath;
        if (local != paths.contactsDb && local != paths.messagesDb) continue;  // companions are optional
        if (!platform::FileExists(local)) {
            recovery.problems.push_back(std::string("the phone gave no copy of ") + file.remotePath +
                                        " (reading it needs ROOT access on the phone)");
        }
    }
    RecoveredData& data = *recovery.data;
    dbrecover::LoadContacts(paths.contactsDb, paths.contactsBackup, data.contacts, notifier);
    dbrecover::LoadMessages(data.contacts, paths.messagesDb, paths.messagesBackup, data.threads, notifier);
    data.lists = dbrecover::BuildDisplayLists(data.contacts, data.threads);
    return recovery;
}

int ReportPhoneRecovery(const PhoneRecovery& recovery, const std::string& out, std::ostream& summary) {
    summary << "Phone: " << StateText(recovery.state) << "\n";
    if (recovery.state != DeviceState::Ready) {
        PrintConnectionTips(summary, recovery.state);
        return 1;
    }
    PrintProblems(recovery.problems);
    const ReportOutcome reports = WriteReports(*recovery.data, out, output::DefaultTemplatePath());
    return PrintRecoverySummary(summary, *recovery.data, reports);
}

int RunPhone(const std::string& out, const std::string& adbPath) {
    device::AdbOptions options;
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
    const int code = ReportPhoneRecovery(recovery, out, std::cout);
    // As when the application closes: the copies go, their folders stay.
    device::DeleteDatabaseCopies(paths);
    return code;
}

}  // namespace qb::cli
