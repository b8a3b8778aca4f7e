// SHA-256 from the system's cryptography: OpenSSL's libcrypto on Linux,
// CNG (bcrypt.dll) on Windows. Reports name their inputs by these digests,
// so they come from a library examiners already trust.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace qb::platform {

class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void Update(const void* data, std::size_t n);
    // The digest of everything given, as 64 lowercase hexadecimal digits;
    // the hasher then starts anew. Empty when the system refused to hash.
    std::string HexDigest();

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace qb::platform
