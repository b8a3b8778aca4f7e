#include "output/vcard_export.h"

#include <string_view>

#include "output/export_text.h"
#include "platform/file.h"

namespace qb::output {
namespace {

constexpr std::size_t kLineOctets = 75;

// A text value: backslash, comma, semicolon and line ends escaped, so that
// it can also be one component of a structured value.
std::string Escaped(std::string_view value) {
    const std::string clean = CleanText(value);
    std::string text;
    text.reserve(clean.size());
    for (std::size_t i = 0; i < clean.size(); ++i) {
        const char c = clean[i];
        switch (c) {
        case '\\': text += "\\\\"; break;
        case ',': text += "\\,"; break;
        case ';': text += "\\;"; break;
        case '\r':
            if (i + 1 < clean.size() && clean[i + 1] == '\n') ++i;
            text += "\\n";
            break;
        case '\n': text += "\\n"; break;
        default: text += c;
        }
    }
    return text;
}

// Appends the content line folded: at most 75 octets per physical line,
// continuation lines begun by one space, no UTF-8 character split.
void AppendFolded(std::string& out, std::string_view line) {
    std::size_t room = kLineOctets;
    while (line.size() > room) {
        std::size_t cut = room;
        while (cut > 0 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) --cut;
        out.append(line.substr(0, cut));
        out += "\r\n ";
        line.remove_prefix(cut);
        room = kLineOctets - 1;
    }
    out.append(line);
    out += "\r\n";
}

void Property(std::string& card, std::string_view name, const std::string& value) {
    std::string line(name);
    line += ':';
    line += value;
    AppendFolded(card, line);
}

// One property per value of the field.
void Properties(std::string& card, std::string_view name, std::string_view field, std::string_view before = {},
                std::string_view after = {}) {
    for (const std::string_view value : FieldValues(field)) {
        std::string text(before);
        text += Escaped(value);
        text += after;
        Property(card, name, text);
    }
}

void AppendCard(std::string& out, const dbrecover::ContactItem& c) {
    out += "BEGIN:VCARD\r\nVERSION:3.0\r\n";
    const std::vector<std::string_view> names = FieldValues(c.name);
    const std::string first = names.empty() ? std::string() : Escaped(names.front());
    Property(out, "FN", first);
    Property(out, "N", first + ";;;;");
    for (std::size_t i = 1; i < names.size(); ++i) Property(out, "X-QUILLBROOK-NAME", Escaped(names[i]));
    Properties(out, "NICKNAME", c.nickname);
    Properties(out, "TEL", c.phone);
    Properties(out, "EMAIL;TYPE=INTERNET", c.email);
    Properties(out, "ADR", c.postalAddress, ";;", ";;;;");
    Properties(out, "ORG", c.organization);
    Properties(out, "IMPP", c.im);
    Properties(out, "X-SIP", c.sipAddress);
    Properties(out, "URL", c.website);
    Properties(out, "NOTE", c.note);
    Properties(out, "X-QUILLBROOK-OTHER", c.others);
    if (c.deleted) out += "X-QUILLBROOK-DELETED:YES\r\n";
    out += "END:VCARD\r\n";
}

}  // namespace

std::string BuildVCards(const std::vector<dbrecover::ContactItem*>& contacts) {
    std::string out;
    for (const dbrecover::ContactItem* contact : contacts) {
        if (contact != nullptr) AppendCard(out, *contact);
    }
    return out;
}

ReportResult ExportVCards(const DomainExport& e) {
    if (!e.contacts || e.contacts->empty()) return {};
    const std::string path = platform::JoinPath(e.folder, "Contacts.vcf");
    std::string error;
    if (!platform::WriteWholeFile(path, BuildVCards(*e.contacts), &error)) {
        return {ReportStatus::OutputFailed, path, "cannot write the cards: " + error};
    }
    return {ReportStatus::Written, path, {}};
}

}  // namespace qb::output
