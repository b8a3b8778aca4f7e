// SHA-256 through the system's cryptography, against the standard's test
// vectors, fed whole and in pieces.
#include "platform/sha256.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace qb::platform {
namespace {

TEST(Sha256, MatchesTheStandardVectorsWholeOrInPieces) {
    const struct {
        std::string input;
        const char* digest;
    } cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const auto& c : cases) {
        Sha256 whole;
        whole.Update(c.input.data(), c.input.size());
        EXPECT_EQ(whole.HexDigest(), c.digest) << c.input.size() << " bytes";
        Sha256 pieces;
        for (std::size_t at = 0; at < c.input.size(); at += 997) {
            pieces.Update(c.input.data() + at, std::min<std::size_t>(997, c.input.size() - at));
        }
        EXPECT_EQ(pieces.HexDigest(), c.digest) << c.input.size() << " bytes in pieces";
        // The hasher starts anew after a digest.
        EXPECT_EQ(pieces.HexDigest(), cases[0].digest);
    }
}

}  // namespace
}  // namespace qb::platform
