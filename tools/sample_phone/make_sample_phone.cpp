// make-sample-phone: writes a deterministic sample phone (contacts2.db and
// mmssms.db with their companions, the backup copies and truth.json).
#include <CLI/CLI.hpp>

#include <iostream>

#include "platform/console.h"
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
    CLI11_PARSE(app, arguments.argc(), arguments.argv());

    std::string error;
    if (!qb::tools::GenerateSamplePhone(out, options, &error)) {
        std::cerr << "make-sample-phone: " << error << "\n";
        return 1;
    }
    std::cout << "sample phone written to " << out << "\n";
    return 0;
}
