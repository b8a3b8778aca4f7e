#include "platform/sha256.h"

#include <windows.h>
#include <bcrypt.h>

#include <cstdint>

namespace qb::platform {

// CNG's hash objects: one provider for the process's hashers would do, but
// opening one per hasher keeps the state free of shared handles.
struct Sha256::State {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    bool ok = false;
    State() {
        ok = BCRYPT_SUCCESS(::BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0)) &&
             BCRYPT_SUCCESS(::BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0));
    }
    ~State() {
        if (hash) ::BCryptDestroyHash(hash);
        if (algorithm) ::BCryptCloseAlgorithmProvider(algorithm, 0);
    }
};

Sha256::Sha256() : state_(std::make_unique<State>()) {}
Sha256::~Sha256() = default;

void Sha256::Update(const void* data, std::size_t n) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    while (state_->ok && n > 0) {
        const ULONG chunk = n > 0x40000000u ? 0x40000000u : static_cast<ULONG>(n);
        state_->ok = BCRYPT_SUCCESS(::BCryptHashData(state_->hash, const_cast<PUCHAR>(bytes), chunk, 0));
        bytes += chunk;
        n -= chunk;
    }
}

std::string Sha256::HexDigest() {
    UCHAR digest[32];
    const bool ok = state_->ok && BCRYPT_SUCCESS(::BCryptFinishHash(state_->hash, digest, sizeof digest, 0));
    state_ = std::make_unique<State>();
    if (!ok) return {};
    static const char kHex[] = "0123456789abcdef";
    std::string text;
    for (UCHAR b : digest) {
        text += kHex[b >> 4];
        text += kHex[b & 15];
    }
    return text;
}

}  // namespace qb::platform
