#include "output/export_formats.h"

#include "output/csv_export.h"
#include "output/sms_backup_xml.h"
#include "output/vcard_export.h"

namespace qb::output {

std::optional<ExportFormats> ParseExportFormats(std::string_view list, std::string* unknown) {
    ExportFormats formats {false, false, false, false};
    for (;;) {
        const std::size_t comma = list.find(',');
        std::string_view name = list.substr(0, comma);
        while (!name.empty() && name.front() == ' ') name.remove_prefix(1);
        while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
        bool* chosen = name == "html" ? &formats.html
                       : name == "vcf" ? &formats.vcf
                       : name == "xml" ? &formats.xml
                       : name == "csv" ? &formats.csv
                                       : nullptr;
        if (chosen == nullptr) {
            if (unknown != nullptr) *unknown = std::string(name);
            return std::nullopt;
        }
        *chosen = true;
        if (comma == std::string_view::npos) break;
        list.remove_prefix(comma + 1);
    }
    return formats;
}

std::vector<ReportResult> ExportRecords(const DomainExport& e, const ExportFormats& formats) {
    const bool contacts = e.contacts != nullptr;
    std::vector<ReportResult> results;
    const auto add = [&](ReportResult result) {
        if (result.status != ReportStatus::NothingToWrite) results.push_back(std::move(result));
    };
    if (formats.html) add(contacts ? ExportContacts(e) : ExportMessages(e));
    if (formats.vcf && contacts) add(ExportVCards(e));
    if (formats.xml && !contacts) add(ExportSmsBackup(e));
    if (formats.csv) add(contacts ? ExportContactsCsv(e) : ExportMessagesCsv(e));
    return results;
}

}  // namespace qb::output
