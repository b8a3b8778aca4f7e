#include "output/csv_export.h"

#include <initializer_list>
#include <string_view>

#include "output/export_text.h"
#include "platform/file.h"

namespace qb::output {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// A leading sign followed by digits and the marks numbers are written with
// (+33 6 12-34-56-78, -12.5, several joined by "|"): a value, not a formula.
bool IsNumberLike(std::string_view text) {
    if (text.size() < 2) return false;
    for (const char c : text.substr(1)) {
        const bool mark =
            c == ' ' || c == '-' || c == '.' || c == ',' || c == '(' || c == ')' || c == '/' || c == '|' || c == '+';
        if (!(c >= '0' && c <= '9') && !mark) return false;
    }
    return true;
}

bool RunsAsFormula(std::string_view text) {
    if (text.empty()) return false;
    const char first = text.front();
    if (first == '=' || first == '@') return true;
    return (first == '+' || first == '-') && !IsNumberLike(text);
}

void AppendRow(std::string& out, std::initializer_list<std::string_view> cells) {
    bool firstCell = true;
    for (const std::string_view cell : cells) {
        if (!firstCell) out += ',';
        firstCell = false;
        const std::string clean = CleanText(cell);
        out += '"';
        if (RunsAsFormula(clean)) out += '\'';
        for (const char c : clean) {
            if (c == '"') out += '"';
            out += c;
        }
        out += '"';
    }
    out += "\r\n";
}

std::string_view YesNo(std::uint8_t flag) { return flag ? "Yes" : "No"; }

std::string TypeName(std::int32_t type) {
    static constexpr const char* kNames[] = {"Received", "Sent", "Draft", "Outbox", "Failed", "Queued"};
    return type >= 1 && type <= 6 ? kNames[type - 1] : std::to_string(type);
}

ReportResult Write(const std::string& folder, const char* name, const std::string& text) {
    const std::string path = platform::JoinPath(folder, name);
    std::string error;
    if (!platform::WriteWholeFile(path, text, &error)) {
        return {ReportStatus::OutputFailed, path, "cannot write the table: " + error};
    }
    return {ReportStatus::Written, path, {}};
}

}  // namespace

std::string BuildContactsCsv(const std::vector<dbrecover::ContactItem*>& contacts) {
    std::string out(kByteOrderMark);
    AppendRow(out, {"ID", "Deleted", "Name", "Phone", "Email", "Note", "Organization", "Address", "IM", "Nickname",
                    "Website", "Others", "SIP Address"});
    std::size_t id = 0;
    for (const dbrecover::ContactItem* c : contacts) {
        if (c == nullptr) continue;
        AppendRow(out, {std::to_string(++id), YesNo(c->deleted), c->name, c->phone, c->email, c->note,
                        c->organization, c->postalAddress, c->im, c->nickname, c->website, c->others, c->sipAddress});
    }
    return out;
}

std::string BuildMessagesCsv(const std::vector<dbrecover::MsgThread*>& threads) {
    std::string out(kByteOrderMark);
    AppendRow(out, {"Conversation", "Conversation Deleted", "Name", "Phone Number", "Date Time", "Type", "Deleted",
                    "Text"});
    std::size_t id = 0;
    for (const dbrecover::MsgThread* t : threads) {
        if (t == nullptr) continue;
        const std::string position = std::to_string(++id);
        if (t->messages.empty()) AppendRow(out, {position, YesNo(t->deleted), t->name, t->address, "", "", "", ""});
        for (const dbrecover::MsgItem& m : t->messages) {
            AppendRow(out, {position, YesNo(t->deleted), t->name, t->address, m.dateText, TypeName(m.type),
                            YesNo(m.deleted), m.body});
        }
    }
    return out;
}

ReportResult ExportContactsCsv(const DomainExport& e) {
    if (!e.contacts || e.contacts->empty()) return {};
    return Write(e.folder, "Contacts.csv", BuildContactsCsv(*e.contacts));
}

ReportResult ExportMessagesCsv(const DomainExport& e) {
    if (!e.threads || e.threads->empty()) return {};
    return Write(e.folder, "Messages.csv", BuildMessagesCsv(*e.threads));
}

}  // namespace qb::output
