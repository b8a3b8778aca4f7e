// HTTP on Windows: the request goes the way its route names.
#include "platform/http_client.h"

#include "platform/http_routes_windows.h"

namespace qb::platform {

std::unique_ptr<HttpBody> OpenHttpGet(const HttpGetRequest& request, HttpError& error) {
    return request.route == HttpRoute::SystemSettings ? OpenWithSystemSettings(request, error)
                                                      : OpenDirect(request, error);
}

}  // namespace qb::platform
