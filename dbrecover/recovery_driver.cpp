#include "dbrecover/recovery_driver.h"

#include "dbrecover/contact_assembly.h"
#include "dbrecover/live_row_reader.h"
#include "dbrecover/message_assembly.h"
#include "dbrecover/schema_probe.h"
#include "dbrecover/table_recovery.h"

namespace qb::dbrecover {
namespace {

void PostStep(platform::Notifier& window, std::uintptr_t step) { window.Post(WMU_LOAD_PROGRESS, step, kLoadSteps); }

}  // namespace

ScanStats ScanDatabase(const std::string& path, TableKind kind, CarvedRowSink& sink) {
    return RecoverTable(CaptureCompanions(path), kind, sink);
}

void LoadContacts(const std::string& currentPath, const std::string& backupPath, ContactMap& contactMap,
                  platform::Notifier& window) {
    // The page scans resolve mimetype ids through the names the live-row
    // readings leave behind, so those come first.
    //
    // The log and journal beside each copy are read before SQLite opens it:
    // opening may roll a hot journal back and delete it.
    const CopyEvidence current = CaptureCompanions(currentPath);
    const CopyEvidence backup = CaptureCompanions(backupPath);
    MimetypeNames names;
    GroupTitles titles;
    ContactMap working;
    const LiveContactsReading currentRows = ReadLiveContacts(currentPath);
    AddLiveDataRows(currentRows, 0, names, titles, working);
    PostStep(window, 1);
    const LiveContactsReading backupRows = ReadLiveContacts(backupPath);
    AddLiveDataRows(backupRows, 1, names, titles, working);
    PostStep(window, 2);
    for (auto& [id, contact] : working) contactMap.insert_or_assign(-id, std::move(contact));
    working.clear();

    // Rows of older page versions that are still live rows are not deleted.
    ContactCarver carver(contactMap, names, titles);
    carver.AddLiveRows(currentRows);
    carver.AddLiveRows(backupRows);
    RecoverTable(current, TableKind::Contacts, carver);
    PostStep(window, 3);
    carver.SetCopy(CopyKind::Backup);
    RecoverTable(backup, TableKind::Contacts, carver);
    PostStep(window, 4);
}

void LoadMessages(const ContactMap& contactMap, const std::string& currentPath, const std::string& backupPath,
                  ThreadMap& threadMap, platform::Notifier& window) {
    // Carved rows are folded before live rows. The live rows are read first
    // (their folding keeps its steps) so that carved copies of rows that are
    // still live are known as old copies, not deleted messages; they join
    // their live message once it is in the map.
    const CopyEvidence current = CaptureCompanions(currentPath);
    const CopyEvidence backup = CaptureCompanions(backupPath);
    const std::vector<LiveSmsRow> currentRows = ReadLiveMessages(currentPath);
    const std::vector<LiveSmsRow> backupRows = ReadLiveMessages(backupPath);
    MessageCarver carver(threadMap);
    carver.AddLiveRows(currentRows);
    carver.AddLiveRows(backupRows);
    RecoverTable(current, TableKind::Messages, carver);
    PostStep(window, 5);
    carver.SetCopy(CopyKind::Backup);
    RecoverTable(backup, TableKind::Messages, carver);
    PostStep(window, 6);
    AddLiveSmsRows(currentRows, 0, threadMap);
    PostStep(window, 7);
    AddLiveSmsRows(backupRows, 1, threadMap);
    carver.AttachOldCopies();
    PostStep(window, 8);
    ResolveNamesAndSort(contactMap, threadMap);
}

}  // namespace qb::dbrecover
