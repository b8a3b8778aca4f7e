#include "output/sms_backup_xml.h"

#include <string_view>

#include "output/export_text.h"
#include "platform/file.h"

namespace qb::output {
namespace {

// An attribute value between double quotes. Line ends and tabs are written
// as character references: a parser would otherwise read them as spaces.
std::string Attribute(std::string_view value) {
    const std::string clean = CleanText(value);
    std::string text;
    text.reserve(clean.size());
    for (const char c : clean) {
        switch (c) {
        case '&': text += "&amp;"; break;
        case '<': text += "&lt;"; break;
        case '>': text += "&gt;"; break;
        case '"': text += "&quot;"; break;
        case '\'': text += "&apos;"; break;
        case '\n': text += "&#10;"; break;
        case '\r': text += "&#13;"; break;
        case '\t': text += "&#9;"; break;
        default: text += c;
        }
    }
    return text;
}

void AppendMessage(std::string& out, const dbrecover::MsgThread& thread, const dbrecover::MsgItem& m) {
    const std::string_view name = FirstValue(thread.name);
    out += "  <sms protocol=\"0\" address=\"" + Attribute(m.address) + "\" date=\"" + std::to_string(m.date) +
           "\" type=\"" + std::to_string(m.type) + "\" subject=\"null\" body=\"" + Attribute(m.body) +
           "\" toa=\"null\" sc_toa=\"null\" service_center=\"null\" read=\"1\" status=\"-1\" locked=\"0\" "
           "date_sent=\"0\" readable_date=\"" +
           Attribute(m.dateText) + "\" contact_name=\"" + Attribute(name.empty() ? "(Unknown)" : name) + "\" />\n";
}

}  // namespace

std::string BuildSmsBackupXml(const std::vector<dbrecover::MsgThread*>& threads) {
    std::size_t count = 0;
    std::string messages;
    for (const dbrecover::MsgThread* thread : threads) {
        if (thread == nullptr) continue;
        for (const dbrecover::MsgItem& m : thread->messages) AppendMessage(messages, *thread, m);
        count += thread->messages.size();
    }
    return "<?xml version='1.0' encoding='UTF-8' standalone='yes' ?>\n<smses count=\"" + std::to_string(count) +
           "\">\n" + messages + "</smses>\n";
}

ReportResult ExportSmsBackup(const DomainExport& e) {
    if (!e.threads || e.threads->empty()) return {};
    const std::string path = platform::JoinPath(e.folder, "Messages.xml");
    std::string error;
    if (!platform::WriteWholeFile(path, BuildSmsBackupXml(*e.threads), &error)) {
        return {ReportStatus::OutputFailed, path, "cannot write the message backup: " + error};
    }
    return {ReportStatus::Written, path, {}};
}

}  // namespace qb::output
