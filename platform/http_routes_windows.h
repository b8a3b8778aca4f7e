// The two routes of an HTTP request on Windows, each over its own system
// library (WinINet and WinHTTP, whose headers cannot meet in one file).
// Included only by platform/http_*_windows.cpp.
#pragma once

#include <memory>

#include "platform/http_client.h"

namespace qb::platform {

std::unique_ptr<HttpBody> OpenWithSystemSettings(const HttpGetRequest& request, HttpError& error);
std::unique_ptr<HttpBody> OpenDirect(const HttpGetRequest& request, HttpError& error);

}  // namespace qb::platform
