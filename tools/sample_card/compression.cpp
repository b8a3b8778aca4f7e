#include "tools/sample_card/compression.h"

#include <stdexcept>

#include <zlib.h>

namespace qb::tools {

std::vector<std::uint8_t> Deflate(const std::vector<std::uint8_t>& data, DeflateWrapping wrapping) {
    z_stream stream {};
    const int windowBits = wrapping == DeflateWrapping::Raw ? -MAX_WBITS : MAX_WBITS;
    if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("zlib: deflateInit2 failed");
    std::vector<std::uint8_t> out(deflateBound(&stream, static_cast<uLong>(data.size())));
    // zlib's input pointer is not const in its interface but is only read.
    stream.next_in = const_cast<Bytef*>(data.data());
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    const int result = deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    if (result != Z_STREAM_END) throw std::runtime_error("zlib: deflate did not finish");
    return out;
}

}  // namespace qb::tools
