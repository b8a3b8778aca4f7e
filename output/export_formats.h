// The files a recovery writes for contacts and conversations, chosen by
// format: "html" (Contacts.html, Messages.html), "vcf" (Contacts.vcf), "xml"
// (Messages.xml), "csv" (Contacts.csv, Messages.csv). All four by default.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "output/html_report.h"

namespace qb::output {

struct ExportFormats {
    bool html = true;
    bool vcf = true;
    bool xml = true;
    bool csv = true;
};

inline constexpr char kAllExportFormats[] = "html,vcf,xml,csv";

// A comma-separated list of format names. Nothing when an entry (an empty
// one too) is not a format name; unknown then holds that entry.
std::optional<ExportFormats> ParseExportFormats(std::string_view list, std::string* unknown = nullptr);

// Writes the chosen files of the export object's contacts or conversations
// into its folder, and returns the result of each file that had something to
// write, in the order html, vcf, xml, csv.
std::vector<ReportResult> ExportRecords(const DomainExport& exportObject, const ExportFormats& formats);

}  // namespace qb::output
