// POSIX only: the page a bitmap job sends to the spooler, a one-page
// PostScript document (the spooler's filters turn it into what the printer
// takes).
#pragma once

#include <string>

#include "platform/spool.h"

namespace korvane::platform {

// The document of SpoolBitmapJob: aBitmap drawn at aPlacement on the sheet
// of aMetrics, titled aTitle.
std::string SpoolPostScript(const std::string& aTitle, const SpoolBitmap& aBitmap,
                            const SpoolPlacement& aPlacement, const SpoolPageMetrics& aMetrics);

}  // namespace korvane::platform
