// The update document as the platform's HTTP client delivers it: one GET
// of kUpdateDocumentPath from the update server, read as a DocumentStream.
#pragma once

#include <functional>
#include <memory>
#include <string_view>

#include "platform/http_client.h"
#include "update/document_fetch.h"

namespace qb::update {

// Told where and why a request or a read failed.
using HttpFailureReport = std::function<void(const platform::HttpError&)>;

// Requests the document; nullptr when no answer came. `report`, when set,
// hears of the failed request and of a read that breaks off.
std::unique_ptr<DocumentStream> FetchUpdateDocument(const UpdateServer& server, std::string_view userAgent,
                                                    platform::HttpRoute route, HttpFailureReport report = {});

}  // namespace qb::update
