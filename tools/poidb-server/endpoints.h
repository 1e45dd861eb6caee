#pragma once
#include <httplib.h>

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "tools/poidb-server/connection_pool.h"
#include "tools/poidb-server/list_cache.h"
#include "tools/poidb-server/request_log.h"
#include "tools/poidb-server/sessions.h"

namespace poidb {

// What every request handler shares.
struct ServiceContext {
    ConnectionPool& pool;
    SessionTable& sessions;
    OfficialListCache& official_list;
    std::string default_server_url;  // text of vyosync.txt unless the administrator set one
    std::size_t max_body = 0;
    bool log_requests = true;
};

// Replies the client cannot mistake for data. All of them travel with status 200, as the
// client reads the reply text whatever the status.
inline constexpr std::string_view kNotLoggedIn = "ERROR:Not_Logged_In!";
inline constexpr std::string_view kUserNotFound = "ERROR:User_Not_Found";
inline constexpr std::string_view kCredentialsNotFound = "ERROR:Logon_Credentials_Not_Found!";
inline constexpr std::string_view kDatabaseFailed = "ERROR:Database_Unavailable";
inline constexpr std::string_view kNone = "NONE:";

using LoggedHandler = std::function<void(const httplib::Request&, httplib::Response&, RequestInfo&)>;

// Wraps a handler so its request is logged when the reply is complete (a streamed reply logs
// itself when its last byte has gone).
httplib::Server::Handler Logged(ServiceContext& context, LoggedHandler handler);
// The same for a request with a body: the whole body, of any type and framing, is read into
// req.body before the handler runs. A body over context.max_body never reaches it: the
// request gets 413 (the error replies log it).
httplib::Server::HandlerWithContentReader LoggedWithBody(ServiceContext& context, LoggedHandler handler);
void SetText(httplib::Response& res, std::string_view text);

void RegisterStartupEndpoints(httplib::Server& server, ServiceContext& context);
void RegisterSyncEndpoints(httplib::Server& server, ServiceContext& context);
// After every endpoint: any other request with a body has it read within the same limit before
// it gets 404, so no path takes a body unbounded.
void RegisterFallbacks(httplib::Server& server, ServiceContext& context);

}  // namespace poidb
