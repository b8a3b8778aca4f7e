#include "tests/support/recording_sink.h"

#include <iomanip>

namespace qb::testsupport {
namespace {

// Texts with their bytes below 0x20 or above 0x7E shown as \xNN.
void PrintBytes(std::string_view text, std::ostream* os) {
    *os << '"';
    for (const char ch : text) {
        const auto b = static_cast<unsigned char>(ch);
        if (b >= 0x20 && b < 0x7F && ch != '"' && ch != '\\') {
            *os << ch;
        } else {
            *os << "\\x" << std::hex << std::setw(2) << std::setfill('0') << unsigned {b} << std::dec;
        }
    }
    *os << '"';
}

}  // namespace

void PrintTo(const CarvedDataRow& row, std::ostream* os) {
    *os << "{mimetypeId " << row.mimetypeId << ", rawContactId " << row.rawContactId << ", data1 ";
    PrintBytes(row.data1, os);
    *os << '}';
}

void PrintTo(const CarvedSmsRow& row, std::ostream* os) {
    *os << "{address ";
    PrintBytes(row.address, os);
    *os << ", body ";
    PrintBytes(row.body, os);
    *os << ", date " << row.date << ", threadId " << row.threadId << ", type " << row.type << '}';
}

}  // namespace qb::testsupport
