#include "platform/sha256.h"

#include <openssl/evp.h>

namespace qb::platform {

struct Sha256::State {
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    bool ok = context && EVP_DigestInit_ex(context, EVP_sha256(), nullptr) == 1;
    ~State() { EVP_MD_CTX_free(context); }
};

Sha256::Sha256() : state_(std::make_unique<State>()) {}
Sha256::~Sha256() = default;

void Sha256::Update(const void* data, std::size_t n) {
    if (state_->ok && n > 0) state_->ok = EVP_DigestUpdate(state_->context, data, n) == 1;
}

std::string Sha256::HexDigest() {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    const bool ok = state_->ok && EVP_DigestFinal_ex(state_->context, digest, &length) == 1 && length == 32;
    state_ = std::make_unique<State>();
    if (!ok) return {};
    static const char kHex[] = "0123456789abcdef";
    std::string text;
    for (unsigned int i = 0; i < length; ++i) {
        text += kHex[digest[i] >> 4];
        text += kHex[digest[i] & 15];
    }
    return text;
}

}  // namespace qb::platform
