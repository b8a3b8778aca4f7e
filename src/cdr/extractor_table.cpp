#include "src/cdr/extractor.h"

namespace qb::cdr {

Extractor ExtractorFor(int typeId) {
    switch (typeId) {
    case kTypeJpg: return &ExtractJpeg;
    case kTypeGif: return &ExtractGif;
    case kTypeBmp: return &ExtractBmp;
    case kTypeMpg: return &ExtractMpeg;
    case kTypePdf: return &ExtractPdf;
    case kTypeDoc:
    case kTypeXls:
    case kTypePpt:
    case kTypeOle: return &ExtractOle;
    case kTypeAvi:
    case kTypeRif:
    case kTypeWav: return &ExtractRiff;
    case kTypeWmv: return &ExtractAsf;
    case kTypeHtm: return &ExtractHtml;
    case kTypeZip:
    case kTypeSxw:
    case kTypeSxc:
    case kTypeSxi: return &ExtractZip;
    case kTypeMov:
    case kTypeMovPnot: return &ExtractQuickTime;
    case kTypePng: return &ExtractPng;
    case kTypeRar: return &ExtractRar;
    case kTypeExe: return &ExtractPe;
    case kTypeIsoMedia: return &ExtractIsoMedia;
    case kTypeWebp: return &ExtractWebp;
    case kTypeMp3: return &ExtractMp3;
    case kTypeOgg: return &ExtractOgg;
    case kTypeSqlite: return &ExtractSqlite;
    case kTypeAmr: return &ExtractAmr;
    case kTypeFlac: return &ExtractFlac;
    case kTypeMatroska: return &ExtractMatroska;
    default: return nullptr;
    }
}

bool ExtensionAllowed(int typeId, std::string_view extension) {
    switch (typeId) {
    case kTypeDoc: return extension == "doc";
    case kTypeXls: return extension == "xls";
    case kTypePpt: return extension == "ppt";
    case kTypeAvi: return extension == "avi";
    case kTypeWav: return extension == "wav";
    case kTypeSxw: return extension == "sxw";
    case kTypeSxc: return extension == "sxc";
    case kTypeSxi: return extension == "sxi";
    default: return true;
    }
}

}  // namespace qb::cdr
