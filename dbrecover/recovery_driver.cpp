#include "dbrecover/recovery_driver.h"

#include "dbrecover/contact_assembly.h"
#include "dbrecover/live_row_reader.h"
#include "dbrecover/message_assembly.h"
#include "dbrecover/schema_probe.h"

namespace qb::dbrecover {
namespace {

void PostStep(platform::Notifier& window, std::uintptr_t step) { window.Post(WMU_LOAD_PROGRESS, step, kLoadSteps); }

}  // namespace

ScanStats ScanDatabase(const std::string& path, TableKind kind, CarvedRowSink& sink) {
    auto layout = ProbeSchema(path, kind);
    if (!layout) return {};
    layout->pageSize = static_cast<std::int32_t>(PageSizeFromField(ReadPageSize(path)));
    if (layout->pageSize == 0) return {};
    return Scan(path, *layout, sink);
}

void LoadContacts(const std::string& currentPath, const std::string& backupPath, ContactMap& contactMap,
                  platform::Notifier& window) {
    // The page scans resolve mimetype ids through the names the live-row
    // readings leave behind, so those come first.
    MimetypeNames names;
    ContactMap working;
    AddLiveDataRows(ReadLiveContacts(currentPath), 0, names, working);
    PostStep(window, 1);
    AddLiveDataRows(ReadLiveContacts(backupPath), 1, names, working);
    PostStep(window, 2);
    for (auto& [id, contact] : working) contactMap.insert_or_assign(-id, std::move(contact));
    working.clear();

    ContactCarver carver(contactMap, names);
    ScanDatabase(currentPath, TableKind::Contacts, carver);
    PostStep(window, 3);
    ScanDatabase(backupPath, TableKind::Contacts, carver);
    PostStep(window, 4);
}

void LoadMessages(const ContactMap& contactMap, const std::string& currentPath, const std::string& backupPath,
                  ThreadMap& threadMap, platform::Notifier& window) {
    // Carved rows come before live rows: a message found both ways stays as
    // its carved, deleted copy.
    MessageCarver carver(threadMap);
    ScanDatabase(currentPath, TableKind::Messages, carver);
    PostStep(window, 5);
    ScanDatabase(backupPath, TableKind::Messages, carver);
    PostStep(window, 6);
    AddLiveSmsRows(ReadLiveMessages(currentPath), 0, threadMap);
    PostStep(window, 7);
    AddLiveSmsRows(ReadLiveMessages(backupPath), 1, threadMap);
    PostStep(window, 8);
    ResolveNamesAndSort(contactMap, threadMap);
}

}  // namespace qb::dbrecover
