#include "output/html_report.h"

#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <algorithm>
#include <string_view>

#include "dbrecover/contact_assembly.h"
#include "dbrecover/message_assembly.h"
#include "dbrecover/record_origin.h"

#include "platform/file.h"

namespace qb::output {
namespace {

constexpr std::string_view kDataPlaceholder = "var data = [];";
constexpr std::string_view kTitlePlaceholder = "<title></title>";

std::string OutputPath(const DomainExport& e, const char* fileName) { return platform::JoinPath(e.folder, fileName); }

const std::string& TemplateOf(const DomainExport& e, std::string& fallback) {
    if (!e.templatePath.empty()) return e.templatePath;
    fallback = DefaultTemplatePath();
    return fallback;
}

std::string Joined(const std::vector<std::string>& pieces, std::string_view separator) {
    std::string text;
    for (const std::string& piece : pieces) {
        if (!text.empty()) text += separator;
        text += piece;
    }
    return text;
}

// Each distinct label once, in the order met.
void AddLabels(std::vector<std::string>& labels, const std::vector<dbrecover::RecordOrigin>& origins,
               bool withLocation) {
    for (const dbrecover::RecordOrigin& o : origins) {
        std::string label = dbrecover::OriginLabel(o, withLocation);
        if (std::find(labels.begin(), labels.end(), label) == labels.end()) labels.push_back(std::move(label));
    }
}

std::string Details(const std::vector<dbrecover::RecordOrigin>& origins) {
    std::vector<std::string> details;
    for (const dbrecover::RecordOrigin& o : origins) details.push_back(dbrecover::OriginDetail(o));
    return Joined(details, "; ");
}

Table ContactsTable(const std::vector<dbrecover::ContactItem*>& contacts) {
    Table rows;
    rows.reserve(contacts.size() + 1);
    rows.push_back({"ID", "Deleted", "Name", "Phone", "Email", "Note", "Organization", "Address", "IM", "Nickname",
                    "Website", "Others", "Earlier values", "Found in", "Detail"});
    std::size_t id = 0;
    for (const dbrecover::ContactItem* c : contacts) {
        std::vector<std::string> earlier, labels, details;
        for (const dbrecover::ValueOrigin& v : c->values) {
            const std::string named = std::string(dbrecover::FieldLabel(v.kind)) + ": " + v.value;
            if (v.earlier) earlier.push_back(named + (v.cutShort ? " (cut short)" : ""));
            // A contact's values lie in many places: the column names the
            // kinds of place, the detail line each value's pages and offsets.
            AddLabels(labels, v.foundIn, false);
            details.push_back((v.earlier ? "earlier " : "") + named + " \u2014 " + Details(v.foundIn));
        }
        rows.push_back({std::to_string(++id), c->deleted ? "Yes" : "No", c->name, c->phone, c->email, c->note,
                        c->organization, c->postalAddress, c->im, c->nickname, c->website, c->others,
                        Joined(earlier, "|"), Joined(labels, "|"), Joined(details, " \u00B7 ")});
    }
    return rows;
}

Table MessagesTable(const std::vector<dbrecover::MsgThread*>& threads) {
    Table rows;
    rows.push_back({"ID", "Deleted", "Name", "Phone Number", "Message", "Date Time", "Type", "Text", "Found in",
                    "Detail"});
    std::size_t id = 0;
    for (const dbrecover::MsgThread* t : threads) {
        rows.push_back({std::to_string(++id), t->deleted ? "Yes" : "No", t->name, t->address, "->", "-", "-", "-", "-",
                        ""});
        for (const dbrecover::MsgItem& m : t->messages) {
            std::vector<std::string> labels;
            AddLabels(labels, m.foundIn, true);
            std::string detail = "date " + std::to_string(m.date) + " ms, shown in " +
                                 dbrecover::UtcOffsetText(dbrecover::ClampDateSeconds(m.date / 1000));
            if (m.bodyCutShort) detail += ", text cut short";
            if (!m.foundIn.empty()) detail += " \u00B7 " + Details(m.foundIn);
            rows.push_back({"", "", "", "", "->", m.dateText, m.type == 1 ? "Received" : "Sent", m.body,
                            Joined(labels, ", "), std::move(detail)});
        }
    }
    return rows;
}

// JSON for inside a script element: "<" appears only inside strings (the
// structure is brackets, commas and quotes), and written as \u003C no text
// can end the element.
std::string ScriptSafe(std::string_view raw) {
    std::string json;
    json.reserve(raw.size());
    for (char ch : raw) {
        if (ch == '<') {
            json += "\\u003C";
        } else {
            json += ch;
        }
    }
    return json;
}

}  // namespace

DomainExport::DomainExport(const std::vector<dbrecover::ContactItem*>& list, std::string outputFolder)
    : contacts(&list), folder(std::move(outputFolder)) {}
DomainExport::DomainExport(const std::vector<dbrecover::MsgThread*>& list, std::string outputFolder)
    : threads(&list), folder(std::move(outputFolder)) {}
DomainExport::~DomainExport() = default;

std::string DefaultTemplatePath() {
    // Beside the executable in a build or on Windows; an installed program
    // keeps it under <prefix>/share/quillbrook beside <prefix>/bin.
    const std::string beside = platform::JoinPath(platform::ExecutableFolder(), "template.html");
    if (platform::FileExists(beside)) return beside;
    const std::string installed = platform::JoinPath(
        platform::JoinPath(platform::JoinPath(platform::ExecutableFolder(), ".."), "share/quillbrook"), "template.html");
    return platform::FileExists(installed) ? installed : beside;
}

std::string BuildJsonTable(const Table& rows) {
    rapidjson::Document document(rapidjson::kArrayType);
    auto& allocator = document.GetAllocator();
    for (const auto& row : rows) {
        rapidjson::Value cells(rapidjson::kArrayType);
        for (const std::string& cell : row) {
            cells.PushBack(rapidjson::StringRef(cell.data(), static_cast<rapidjson::SizeType>(cell.size())), allocator);
        }
        document.PushBack(cells, allocator);
    }
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    document.Accept(writer);

    return ScriptSafe(std::string_view(buffer.GetString(), buffer.GetSize()));
}

ReportResult WriteReport(const std::string& title, const std::string& templatePath, const std::string& outputPath,
                         const std::string& json, const Evidence* evidence) {
    std::string error;
    const auto page = platform::ReadWholeFile(templatePath, &error);
    if (!page) return {ReportStatus::TemplateMissing, templatePath, "cannot read the page template: " + error};

    std::string text = *page;
    const std::size_t data = text.find(kDataPlaceholder);
    if (data == std::string::npos) {
        return {ReportStatus::PlaceholderMissing, templatePath, "the page template has no \"var data = [];\""};
    }
    std::string script = "var data = " + json + ";";
    if (evidence) script += "\nvar evidence = " + ScriptSafe(EvidenceJson(*evidence)) + ";";
    text.replace(data, kDataPlaceholder.size(), script);
    const std::size_t titleAt = text.find(kTitlePlaceholder);
    if (titleAt == std::string::npos) {
        return {ReportStatus::PlaceholderMissing, templatePath, "the page template has no \"<title></title>\""};
    }
    text.replace(titleAt, kTitlePlaceholder.size(), "<title>" + title + "</title>");

    if (!platform::WriteWholeFile(outputPath, text, &error)) {
        return {ReportStatus::OutputFailed, outputPath, "cannot write the report: " + error};
    }
    return {ReportStatus::Written, outputPath, {}};
}

ReportResult ExportContacts(const DomainExport& e) {
    if (!e.contacts || e.contacts->empty()) return {};
    std::string fallback;
    return WriteReport("Contacts", TemplateOf(e, fallback), OutputPath(e, "Contacts.html"),
                       BuildJsonTable(ContactsTable(*e.contacts)), e.evidence);
}

ReportResult ExportMessages(const DomainExport& e) {
    if (!e.threads || e.threads->empty()) return {};
    std::string fallback;
    return WriteReport("Messages", TemplateOf(e, fallback), OutputPath(e, "Messages.html"),
                       BuildJsonTable(MessagesTable(*e.threads)), e.evidence);
}

}  // namespace qb::output
