#include "update/http_document.h"

#include <string>
#include <utility>

namespace qb::update {
namespace {

class HttpDocument final : public DocumentStream {
public:
    HttpDocument(std::unique_ptr<platform::HttpBody> body, HttpFailureReport report)
        : body_(std::move(body)), report_(std::move(report)) {}

    Read Next(std::string& piece) override {
        platform::HttpError error;
        switch (body_->Next(piece, error)) {
        case platform::HttpBody::Read::Piece:
            return Read::Piece;
        case platform::HttpBody::Read::End:
            return Read::End;
        case platform::HttpBody::Read::Failed:
            break;
        }
        if (report_) report_(error);
        return Read::Failed;
    }

private:
    std::unique_ptr<platform::HttpBody> body_;
    HttpFailureReport report_;
};

}  // namespace

std::unique_ptr<DocumentStream> FetchUpdateDocument(const UpdateServer& server, std::string_view userAgent,
                                                    platform::HttpRoute route, HttpFailureReport report) {
    platform::HttpGetRequest request;
    request.host = server.host;
    request.port = server.port;
    request.path = std::string(kUpdateDocumentPath);
    request.userAgent = std::string(userAgent);
    request.route = route;
    platform::HttpError error;
    std::unique_ptr<platform::HttpBody> body = platform::OpenHttpGet(request, error);
    if (!body) {
        if (report) report(error);
        return nullptr;
    }
    return std::make_unique<HttpDocument>(std::move(body), std::move(report));
}

}  // namespace qb::update
