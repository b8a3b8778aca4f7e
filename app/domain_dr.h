// The recovery domain object: lives as long as the main window's process
// and owns the storage module's table of operations and the picture preview
// queue with its worker.
#pragma once

#include <memory>

#include "app/preview_queue.h"
#include "src/cdr/cdr_interface.h"

namespace qb::app {

class DomainDr {
public:
    // The storage module's own table.
    DomainDr();
    // A given table (null: the storage module's own).
    explicit DomainDr(std::unique_ptr<cdr::CdrInterface> engine);
    DomainDr(const DomainDr&) = delete;
    DomainDr& operator=(const DomainDr&) = delete;

    const cdr::CdrInterface& Engine() const { return *engine_; }
    PreviewQueue& Previews() { return previews_; }

private:
    std::unique_ptr<cdr::CdrInterface> engine_;
    // Declared after the table it reads through: its worker is stopped and
    // joined before the table goes.
    PreviewQueue previews_;
};

}  // namespace qb::app
