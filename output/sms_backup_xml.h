// Messages.xml: every message of the conversations in the backup format that
// Android's SMS backup-and-restore apps import:
//
//   <smses count="N">
//     <sms protocol="0" address=".." date="<ms>" type=".." subject="null" body=".."
//          toa="null" sc_toa="null" service_center="null" read="1" status="-1"
//          locked="0" date_sent="0" readable_date=".." contact_name=".." />
//
// What the records do not keep takes the value such apps write for "not
// known"; recovered messages are restored as read. The format has no place
// for a deleted mark: Messages.csv carries it.
#pragma once

#include <string>
#include <vector>

#include "dbrecover/message_item.h"
#include "output/html_report.h"

namespace qb::output {

// The document of the conversations' messages, conversations in list order,
// each conversation's messages in its own order.
std::string BuildSmsBackupXml(const std::vector<dbrecover::MsgThread*>& threads);

// Writes <folder>/Messages.xml; nothing when the list is empty.
ReportResult ExportSmsBackup(const DomainExport& exportObject);

}  // namespace qb::output
