#include "dbrecover/record_origin.h"

#include <cstdio>

#include "platform/text.h"

namespace qb::dbrecover {
namespace {

const char* AreaName(PageArea area) {
    switch (area) {
    case PageArea::Cell: return "cell";
    case PageArea::Freeblock: return "freeblock";
    case PageArea::Gap: return "gap";
    case PageArea::Lost: return "bytes";
    }
    return "?";
}

const char* AreaWords(PageArea area) {
    switch (area) {
    case PageArea::Cell: return "a cell";
    case PageArea::Freeblock: return "a freeblock";
    case PageArea::Gap: return "the unallocated gap";
    case PageArea::Lost: return "the unstructured bytes";
    }
    return "?";
}

// The page version a carved row was read from, as a short label ("" for
// the current version) and in words.
struct VersionText {
    std::string label;
    std::string words;
};

VersionText DescribeVersion(const Provenance& p) {
    const std::string frame = std::to_string(p.frame);
    switch (p.source) {
    case RowSource::FreeSpace: return {"", "the current version of the page"};
    case RowSource::OlderPage:
        switch (p.older) {
        case OlderVersion::LogFrame:
            return {"log frame " + frame + " ", "log frame " + frame + ", an older version of the page"};
        case OlderVersion::MainFile:
            return {"main file ", "the main file's version of the page, under the log's frames"};
        case OlderVersion::FormerLeaf: return {"interior ", "an interior page, in what it held while a leaf"};
        case OlderVersion::OtherPage:
            return {"other page ", "a page of another table, in what it held while one of this table"};
        case OlderVersion::None: break;
        }
        return {"older ", "an older version of the page"};
    case RowSource::StaleFrame:
        return {"stale log frame " + frame + " ", "log frame " + frame + ", behind the log's restart or not valid"};
    case RowSource::Journal: return {"journal ", "the rollback journal's image of the page"};
    case RowSource::Freelist: return {"freelist ", "a freed page"};
    case RowSource::Unreachable: return {"unreachable ", "a page no walk from the table's root reaches"};
    }
    return {};
}

const char* CopyWords(CopyKind copy) { return copy == CopyKind::Current ? "the current copy" : "the backup copy"; }

}  // namespace

bool RecordOrigin::operator==(const RecordOrigin& o) const {
    if (live != o.live || copy != o.copy) return false;
    if (live) return true;
    return carved.source == o.carved.source && carved.area == o.carved.area && carved.page == o.carved.page &&
           carved.offset == o.carved.offset && carved.frame == o.carved.frame;
}

std::string OriginLabel(const RecordOrigin& o, bool withLocation) {
    if (o.live) return o.copy == CopyKind::Current ? "live row" : "backup copy";
    std::string label = o.copy == CopyKind::Backup ? "backup: " : "";
    label += DescribeVersion(o.carved).label;
    label += AreaName(o.carved.area);
    if (withLocation) label += " p." + std::to_string(o.carved.page) + " @" + std::to_string(o.carved.offset);
    return label;
}

std::string OriginDetail(const RecordOrigin& o) {
    if (o.live) {
        return o.copy == CopyKind::Current ? "live row of the current copy"
                                           : "live row of the backup copy only (deleted since its last checkpoint)";
    }
    std::string text = "carved from ";
    text += AreaWords(o.carved.area);
    text += " of page " + std::to_string(o.carved.page) + " at offset " + std::to_string(o.carved.offset);
    text += " in " + DescribeVersion(o.carved).words + ", " + CopyWords(o.copy);
    if (o.carved.rowid >= 0) text += ", row id " + std::to_string(o.carved.rowid);
    if (o.carved.rebuilt) text += ", its first bytes rebuilt";
    return text;
}

void AddOrigin(std::vector<RecordOrigin>& list, const RecordOrigin& origin) {
    for (const RecordOrigin& o : list) {
        if (o == origin) return;
    }
    if (origin.live && origin.copy == CopyKind::Backup) {
        for (const RecordOrigin& o : list) {
            if (o.live && o.copy == CopyKind::Current) return;
        }
    }
    list.push_back(origin);
}

void MergeOrigins(std::vector<RecordOrigin>& list, const std::vector<RecordOrigin>& more) {
    for (const RecordOrigin& o : more) AddOrigin(list, o);
}

std::string UtcOffsetText(std::int64_t seconds) {
    // The local wall-clock time read back as if it were UTC, minus the
    // instant, is the offset.
    const std::string local = platform::FormatLocalTime(seconds, "%Y-%m-%d %H:%M:%S");
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    if (std::sscanf(local.c_str(), "%d-%d-%d %d:%d:%d", &y, &mo, &d, &h, &mi, &s) != 6) return "UTC";
    // Days from 1970-01-01 to the civil date (proleptic Gregorian).
    const std::int64_t yy = y - (mo <= 2 ? 1 : 0);
    const std::int64_t era = (yy >= 0 ? yy : yy - 399) / 400;
    const std::int64_t yoe = yy - era * 400;
    const std::int64_t doy = (153 * (mo + (mo > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const std::int64_t days = era * 146097 + doe - 719468;
    const std::int64_t offset = days * 86400 + h * 3600 + mi * 60 + s - seconds;
    if (offset == 0) return "UTC";
    const std::int64_t minutes = (offset < 0 ? -offset : offset) / 60;
    char text[32];
    std::snprintf(text, sizeof text, "UTC%c%02lld:%02lld", offset < 0 ? '-' : '+', static_cast<long long>(minutes / 60),
                  static_cast<long long>(minutes % 60));
    return text;
}

}  // namespace qb::dbrecover
