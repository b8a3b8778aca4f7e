// GDI+ for the skinned windows. Its headers expect min and max and the COM
// object declarations, which the lean system headers of this build leave out.
#pragma once

#include <windows.h>
#include <objidl.h>

#include <algorithm>

namespace Gdiplus {
using std::max;
using std::min;
}  // namespace Gdiplus

#include <gdiplus.h>
