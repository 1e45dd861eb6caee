// The requests a client makes at start-up: server address, health, alerts, version, messages.
#include <string>

#include "tools/poidb-server/endpoints.h"
#include "tools/poidb-server/request_bodies.h"
#include "tools/poidb-server/store.h"
#include "tools/poidb-server/text_rules.h"

namespace poidb {

namespace {

constexpr std::size_t kMaxMessagesPerReply = 200;

void ServeServerUrl(ServiceContext& context, httplib::Response& res) {
    auto lease = context.pool.Acquire();
    if (!lease) {
        SetText(res, context.default_server_url);
        return;
    }
    Store store(*lease);
    SetText(res, store.Setting("server_url").value_or(context.default_server_url));
}

void ServeAlert(ServiceContext& context, const httplib::Request& req, httplib::Response& res) {
    const auto query = ParseAlertQuery(req.body);
    auto lease = context.pool.Acquire();
    if (!query || !lease) {
        SetText(res, kNone);
        return;
    }
    Store store(*lease);
    const auto alert = store.NextAlert(*query);
    SetText(res, alert ? std::to_string(alert->id) + "|" + alert->text + "|" : std::string(kNone));
}

void ServeVersion(ServiceContext& context, const httplib::Request& req, httplib::Response& res) {
    std::int32_t client_version = 0;
    auto lease = context.pool.Acquire();
    if (!ParseInt32(req.body, client_version) || !lease) {
        SetText(res, kNone);
        return;
    }
    Store store(*lease);
    const auto current = store.Version();
    if (!current || current->version <= client_version || current->url.empty()) {
        SetText(res, kNone);
        return;
    }
    SetText(res, std::to_string(current->version) + "|" + current->url + "|" + current->message + "|");
}

void ServeInformation(ServiceContext& context, const httplib::Request& req, httplib::Response& res) {
    const auto query = ParseInfoQuery(req.body);
    auto lease = context.pool.Acquire();
    if (!query || !lease) {
        SetText(res, kNone);
        return;
    }
    Store store(*lease);
    const auto messages = store.MessagesAfter(*query, kMaxMessagesPerReply);
    if (messages.empty()) {
        SetText(res, kNone);
        return;
    }
    std::string reply;
    for (const auto& message : messages) {
        reply += std::to_string(message.id) + "|" + message.text + "|";
    }
    SetText(res, reply);
}

}  // namespace

void RegisterStartupEndpoints(httplib::Server& server, ServiceContext& context) {
    // The client names the folder that holds the address file, so it is found at both places.
    for (const char* path : {"/vyosync.txt", "/POIDataBase/vyosync.txt"}) {
        server.Get(path, Logged(context, [&context](const auto&, auto& res, auto&) { ServeServerUrl(context, res); }));
    }
    const LoggedHandler up = [](const auto&, auto& res, auto&) { SetText(res, "IMTHERE:"); };
    server.Post("/POIDataBase/ServerUp.php", LoggedWithBody(context, up));
    server.Get("/POIDataBase/ServerUp.php", Logged(context, up));
    server.Post("/POIDataBase/Alerts.php",
                LoggedWithBody(context, [&context](const auto& req, auto& res, auto&) { ServeAlert(context, req, res); }));
    server.Post("/POIDataBase/CheckVersion.php",
                LoggedWithBody(context, [&context](const auto& req, auto& res, auto&) { ServeVersion(context, req, res); }));
    server.Post("/POIDataBase/Information.php", LoggedWithBody(context, [&context](const auto& req, auto& res, auto&) {
                    ServeInformation(context, req, res);
                }));
}

}  // namespace poidb
