// The number of GDI objects the process holds, for leak checks.
#pragma once

#include <cstddef>

namespace qb::app::testsupport {

// GetGuiResources where the system keeps the count. Wine answers 0 there;
// its per-process GDI handle table is counted instead: the table the PEB
// names (GdiSharedHandleTable), 0x10000 entries of
//
//   OFFSET  SIZE  DESCRIPTION
//   0       8     kernel object pointer (0 when the entry is free)
//   8       4     owner
//   12      2     unique (the handle's upper 16 bits)
//   14      1     object type (0 when the entry is free)
//   15      1     flags
//   16      8     user pointer
std::size_t GdiObjectCount();

}  // namespace qb::app::testsupport
