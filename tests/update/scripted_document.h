// An update document served from memory: the body in the pieces given,
// optionally breaking off with a read failure instead of ending.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "update/document_fetch.h"

namespace qb::update::testsupport {

class ScriptedDocument final : public DocumentStream {
public:
    ScriptedDocument(std::vector<std::string> pieces, bool failAtEnd, int* reads)
        : pieces_(std::move(pieces)), failAtEnd_(failAtEnd), reads_(reads) {}

    Read Next(std::string& piece) override {
        if (reads_ != nullptr) ++*reads_;
        if (next_ < pieces_.size()) {
            piece = pieces_[next_++];
            return Read::Piece;
        }
        piece.clear();
        return failAtEnd_ ? Read::Failed : Read::End;
    }

private:
    std::vector<std::string> pieces_;
    std::size_t next_ = 0;
    bool failAtEnd_;
    int* reads_;
};

// A fetcher whose every request is answered with these pieces.
inline DocumentFetcher ServePieces(std::vector<std::string> pieces, bool failAtEnd = false, int* reads = nullptr) {
    return [pieces = std::move(pieces), failAtEnd, reads] {
        return std::make_unique<ScriptedDocument>(pieces, failAtEnd, reads);
    };
}

// The body cut into pieces of the given sizes (the last takes the rest).
inline std::vector<std::string> Split(const std::string& body, std::vector<std::size_t> sizes) {
    std::vector<std::string> pieces;
    std::size_t at = 0;
    for (std::size_t size : sizes) {
        if (at >= body.size()) break;
        pieces.push_back(body.substr(at, size));
        at += pieces.back().size();
    }
    if (at < body.size()) pieces.push_back(body.substr(at));
    return pieces;
}

// A fetcher for a server that cannot be reached.
inline DocumentFetcher Unreachable() {
    return [] { return std::unique_ptr<DocumentStream>(); };
}

}  // namespace qb::update::testsupport
