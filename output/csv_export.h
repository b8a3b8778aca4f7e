// Contacts.csv and Messages.csv: the records as tables for spreadsheets.
// UTF-8 with a byte order mark (spreadsheets take a file without one for
// the local code page), comma separated, every cell quoted, rows ended by
// CR LF. A cell that a spreadsheet would run as a formula (it begins with
// "=", "@", or "+" or "-" and is not a number) is kept as text by a leading
// apostrophe: message bodies come from anyone.
//
// Contacts.csv: the columns of the contacts report, then "SIP Address".
// Messages.csv: one row per message, with its conversation:
//   "Conversation", "Conversation Deleted", "Name", "Phone Number",
//   "Date Time", "Type", "Deleted", "Text"
// Type is "Received", "Sent", "Draft", "Outbox", "Failed", "Queued" or the
// stored number; a conversation without messages is one row whose message
// cells are empty.
#pragma once

#include <string>
#include <vector>

#include "dbrecover/contact_item.h"
#include "dbrecover/message_item.h"
#include "output/html_report.h"

namespace qb::output {

std::string BuildContactsCsv(const std::vector<dbrecover::ContactItem*>& contacts);
std::string BuildMessagesCsv(const std::vector<dbrecover::MsgThread*>& threads);

// Write <folder>/Contacts.csv and <folder>/Messages.csv; nothing when the
// list is empty.
ReportResult ExportContactsCsv(const DomainExport& exportObject);
ReportResult ExportMessagesCsv(const DomainExport& exportObject);

}  // namespace qb::output
