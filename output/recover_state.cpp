#include "output/recover_state.h"

#include "src/cdr/carving_engine.h"

namespace qb::output {

std::atomic<int> recoverState {0};

int RecoverCopyCancel(std::uint64_t, std::uint64_t, const cdr::FileItem*) {
    return recoverState.load() == kRecoverStopRequested ? cdr::kStop : 0;
}

}  // namespace qb::output
