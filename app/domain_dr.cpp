#include "app/domain_dr.h"

#include <utility>

namespace qb::app {

DomainDr::DomainDr() : DomainDr(nullptr) {}

DomainDr::DomainDr(std::unique_ptr<cdr::CdrInterface> engine)
    : engine_(engine ? std::move(engine) : cdr::CreateCdrInterface()), previews_(*engine_) {}

}  // namespace qb::app
