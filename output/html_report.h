// Contacts and conversations leave the system as two self-contained pages,
// Contacts.html and Messages.html. The page template beside the executable
// carries all markup, style and script; the writer only delivers the data:
// a table of strings serialised as one JSON array, spliced with a title into
// the template's two placeholders.
#pragma once

#include <string>
#include <vector>

#include "dbrecover/contact_item.h"
#include "dbrecover/message_item.h"
#include "output/evidence.h"

namespace qb::output {

// The export object: the records to write, in display order (borrowed), and
// the folder to write into (UTF-8, no trailing separator).
class DomainExport {
public:
    DomainExport(const std::vector<dbrecover::ContactItem*>& contacts, std::string folder);
    DomainExport(const std::vector<dbrecover::MsgThread*>& threads, std::string folder);
    virtual ~DomainExport();

    const std::vector<dbrecover::ContactItem*>* contacts = nullptr;
    const std::vector<dbrecover::MsgThread*>* threads = nullptr;
    std::string folder;
    // The page template; DefaultTemplatePath() unless set.
    std::string templatePath;
    // The inputs the records came from, shown at the top of the report;
    // borrowed, none when null.
    const Evidence* evidence = nullptr;
};

enum class ReportStatus {
    Written,
    NothingToWrite,      // the list is empty: no file is made
    TemplateMissing,     // the template cannot be read
    PlaceholderMissing,  // the template lacks "var data = [];" or "<title></title>"
    OutputFailed,        // the report file cannot be written
};

struct ReportResult {
    ReportStatus status = ReportStatus::NothingToWrite;
    std::string path;    // the report file, or the template for template failures
    std::string reason;  // why it failed, for the user
};

// The template beside the running executable, or where an installed program
// keeps it (../share/quillbrook/ from the executable's folder).
std::string DefaultTemplatePath();

// Write <folder>/Contacts.html and <folder>/Messages.html.
ReportResult ExportContacts(const DomainExport& exportObject);
ReportResult ExportMessages(const DomainExport& exportObject);

using Table = std::vector<std::vector<std::string>>;

// The table as one compact JSON array of arrays of strings. "<" is written
// as \u003C so that no text can end the script element the data sits in.
std::string BuildJsonTable(const Table& rows);

// Splices json into the first "var data = [];" (followed, when evidence is
// given, by "var evidence = {...};") and then title into the first
// "<title></title>" of the template, and writes the result.
ReportResult WriteReport(const std::string& title, const std::string& templatePath, const std::string& outputPath,
                         const std::string& json, const Evidence* evidence = nullptr);

}  // namespace qb::output
