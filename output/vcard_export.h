// Contacts.vcf: the contacts as vCard 3.0 cards, UTF-8, one card per
// contact, for importing into a phone or an address book. Each value of a
// field becomes one property; lines longer than 75 octets are folded.
//
//   FN, N          the first name (N carries it whole as the family name:
//                  the phone keeps no parts of it); further names as
//                  X-QUILLBROOK-NAME
//   NICKNAME, TEL, EMAIL, ADR (the address as its street), ORG, IMPP,
//   X-SIP, URL, NOTE
//   X-QUILLBROOK-OTHER      each value of the "others" field
//   X-QUILLBROOK-DELETED    YES on a contact found deleted
#pragma once

#include <string>
#include <vector>

#include "dbrecover/contact_item.h"
#include "output/html_report.h"

namespace qb::output {

// The cards of the contacts, in list order, lines ended by CR LF.
std::string BuildVCards(const std::vector<dbrecover::ContactItem*>& contacts);

// Writes <folder>/Contacts.vcf; nothing when the list is empty.
ReportResult ExportVCards(const DomainExport& exportObject);

}  // namespace qb::output
