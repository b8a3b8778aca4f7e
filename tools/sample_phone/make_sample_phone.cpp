// make-sample-phone: writes a deterministic sample phone (contacts2.db and
// mmssms.db with their companions, the backup copies and truth.json).
#include <CLI/CLI.hpp>

#include <iostream>

#include "platform/console.h"
#include "tools/fake_adb/fake_phone_layout.h"
#include "tools/sample_phone/sample_phone.h"

int main(int argc, char** argv) {
    qb::platform::Utf8Arguments arguments(argc, argv);
    CLI::App app {"Writes a sample phone's contacts and messages databases with live and deleted rows."};
    std::string out;
    qb::tools::SamplePhoneOptions options;
    app.add_option("--out", out, "folder to write into")->required();
    app.add_option("--seed", options.seed, "seed of the generated content");
    app.add_flag("--secure-delete", options.secureDelete, "zero freed cells");
    app.add_flag("--journal-messages", options.messagesRollbackJournal, "mmssms.db in rollback-journal mode");
    app.add_flag("--android5", options.android5Columns, "sms table with the sub_id and creator columns");
    app.add_option("--page-size", options.pageSize, "database page size");
    app.add_option("--scale", options.scale, "repeat the content this many times");
    app.add_flag("--log-life", options.logLife, "rows added and deleted again over several checkpoints");
    app.add_flag("--persist-journal", options.persistJournal, "mmssms.db in journal mode PERSIST, its -journal left");
    app.add_flag("--bulk-delete", options.bulkDelete, "a whole conversation and a block of contacts deleted at once");
    app.add_flag("--long-bodies", options.longBodies, "bodies that spill to overflow pages, some deleted");
    app.add_flag("--empty-messages", options.emptyMessages, "every message deleted");
    app.add_flag("--android7", options.android7Contacts, "the data table of Android 7 (hash_id after raw_contact_id)");
    std::string fakePhone;
    qb::tools::FakePhoneState phoneState;
    bool unrooted = false;
    app.add_option("--fake-phone", fakePhone, "also lay out a phone folder for the fake bridge client here");
    app.add_option("--state", phoneState.state, "the fake phone's device state (device, unauthorized, none, hang)");
    app.add_flag("--unrooted", unrooted, "the fake phone has no working su");
    CLI11_PARSE(app, arguments.argc(), arguments.argv());
    phoneState.rooted = !unrooted;

    std::string error;
    if (!qb::tools::GenerateSamplePhone(out, options, &error)) {
        std::cerr << "make-sample-phone: " << error << "\n";
        return 1;
    }
    std::cout << "sample phone written to " << out << "\n";
    if (!fakePhone.empty()) {
        if (!qb::tools::LayOutFakePhone(qb::tools::SamplePhoneLayout(out), fakePhone, phoneState, &error)) {
            std::cerr << "make-sample-phone: " << error << "\n";
            return 1;
        }
        std::cout << "fake phone (" << phoneState.state << ") laid out in " << fakePhone << "\n";
    }
    return 0;
}
