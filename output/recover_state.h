// The recover job's state, shared by its dialog, its worker and every copy
// of a found file (the recover job's and the picture preview's): a copy
// ends at its next piece while a stop of the recover job is pending.
#pragma once

#include <atomic>
#include <cstdint>

namespace qb::cdr {
struct FileItem;
}  // namespace qb::cdr

namespace qb::output {

inline constexpr int kRecoverRunning = 1;
inline constexpr int kRecoverStopRequested = 3;
inline constexpr int kRecoverFinished = 4;

// 0 until the first recover job starts.
extern std::atomic<int> recoverState;

// The copy cancel callback of ExtractFile: cdr::kStop while recoverState is
// kRecoverStopRequested, 0 otherwise.
int RecoverCopyCancel(std::uint64_t size, std::uint64_t done, const cdr::FileItem* item);

}  // namespace qb::output
