// The two loaders that read the copied databases: each reads the current
// copy (pulled with its -wal and -shm) and the backup copy (the main file
// alone, as of its last checkpoint), with the live-row reader and with the
// page scanner, and reports each finished step.
#pragma once

#include <cstdint>
#include <string>

#include "dbrecover/contact_item.h"
#include "dbrecover/message_item.h"
#include "dbrecover/page_scanner.h"
#include "platform/notifier.h"

namespace qb::dbrecover {

// Posted after each of the eight steps: wParam the step just finished
// (1 to 8), lParam the number of steps.
constexpr std::uint32_t WMU_LOAD_PROGRESS = 1139;  // WM_USER + 115
constexpr std::uintptr_t kLoadSteps = 8;

// Steps 1 to 4: live rows of the current copy, then of the backup copy, then
// the page scans of both. Live contacts are filed under their negated raw
// contact id; carved rows form deleted contacts of their own.
void LoadContacts(const std::string& currentPath, const std::string& backupPath, ContactMap& contactMap,
                  platform::Notifier& window);

// Steps 5 to 8: page scans of the current and backup copies, then live rows
// of both; conversations are then named from contactMap and sorted.
void LoadMessages(const ContactMap& contactMap, const std::string& currentPath, const std::string& backupPath,
                  ThreadMap& threadMap, platform::Notifier& window);

// The page scan of one file and the companions beside it (table_recovery.h):
// every version of the table's pages in the file, its -wal and its
// -journal, and its freelist. Nothing is scanned when neither SQLite nor the
// raw pass find the table or the page size is not one SQLite can have.
ScanStats ScanDatabase(const std::string& path, TableKind kind, CarvedRowSink& sink);

}  // namespace qb::dbrecover
