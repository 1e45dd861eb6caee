// The requests of a synchronisation: logon, summary, lists, change download and upload.
#include <chrono>
#include <ctime>
#include <memory>
#include <optional>
#include <string>

#include "tools/poidb-server/change_list.h"
#include "tools/poidb-server/endpoints.h"
#include "tools/poidb-server/list_stream.h"
#include "tools/poidb-server/request_bodies.h"
#include "tools/poidb-server/store.h"
#include "tools/poidb-server/text_rules.h"

namespace poidb {

namespace {

constexpr int kRowsPerChunk = 2000;
constexpr std::string_view kNeverSynced = "Never";
constexpr std::string_view kNoChangeList = "ERROR:Change_List_Not_Found!";

std::optional<Session> SessionOf(ServiceContext& context, const httplib::Request& req, RequestInfo& info) {
    auto session = context.sessions.Find(SessionTokenFromCookies(req.get_header_value("Cookie")));
    if (session) info.user_id = session->user_id;
    return session;
}

// Finds the user a logon or updates body names and runs `serve` with them; the error replies
// for a bad body, an unknown user or a failed store are the same for both requests.
void WithUser(ServiceContext& context, const httplib::Request& req, httplib::Response& res, RequestInfo& info,
              const std::function<void(Store&, const User&)>& serve) {
    const auto credentials = ParseCredentials(req.body);
    if (!credentials) return SetText(res, kCredentialsNotFound);
    auto lease = context.pool.Acquire();
    if (!lease) return SetText(res, kDatabaseFailed);
    Store store(*lease);
    const auto user = store.FindUser(*credentials);
    if (!user) return SetText(res, kUserNotFound);
    info.user_id = user->id;
    serve(store, *user);
}

void ServeLogon(ServiceContext& context, const httplib::Request& req, httplib::Response& res, RequestInfo& info) {
    WithUser(context, req, res, info, [&](Store& store, const User& user) {
        const auto token = context.sessions.Create(user.id, store.HeadRevision());
        if (!token) return SetText(res, kDatabaseFailed);
        res.set_header("Set-Cookie", std::string(kSessionCookie) + "=" + *token + "; Path=/; HttpOnly");
        SetText(res, store.NeedsFullRetrieval(user, std::time(nullptr)) ? "OKFULL:" : "OK:");
    });
}

void ServeUpdates(ServiceContext& context, const httplib::Request& req, httplib::Response& res, RequestInfo& info) {
    WithUser(context, req, res, info, [&](Store& store, const User& user) {
        const std::string date = user.synced_at ? DateText(*user.synced_at) : std::string(kNeverSynced);
        if (store.NeedsFullRetrieval(user, std::time(nullptr))) return SetText(res, "OK:FULL:" + date);
        SetText(res, "OK:" + std::to_string(store.CountChangesSince(user.id, user.synced_rev.value_or(0))) + ":" + date);
    });
}

// Where a finished list or change download leaves the user: their cache then reflects
// `rev`. `before` is kept to undo the mark when the end of the reply cannot be sent.
struct SyncMark {
    User before;
    std::int64_t rev = 0;
};

// The progress of one streamed list, shared by the calls of its content provider.
struct StreamState {
    ServiceContext& context;
    ListQuery query;
    RequestInfo info;
    std::optional<SyncMark> mark;
    std::shared_ptr<const RenderedList> rendered;  // the whole reply, when it was rendered before
    std::size_t next_block = 0;
    std::int64_t cursor = 0;
    std::string chunk{};  // kept between pages, so its room is allocated once
    bool started = false;
    bool finished = false;
    bool marked = false;
};

bool SendRendered(StreamState& state, httplib::DataSink& sink) {
    const auto& blocks = state.rendered->blocks;
    if (state.next_block < blocks.size()) {
        const std::string& block = blocks[state.next_block++];
        if (!sink.write(block.data(), block.size())) return false;
        state.info.bytes += block.size();
    }
    if (state.next_block == blocks.size()) {
        state.finished = true;
        sink.done();
    }
    return true;
}

bool ProduceChunk(StreamState& state, httplib::DataSink& sink) {
    if (state.rendered) return SendRendered(state, sink);
    std::string& chunk = state.chunk;
    chunk.clear();
    if (!state.started) {
        chunk.append(ListPrefix(state.query.kind));
        state.started = true;
    }
    auto lease = state.context.pool.Acquire();
    if (!lease) return false;
    const int rows = AppendListPage(*lease, state.query, state.cursor, chunk, kRowsPerChunk);
    // A failure midway can only be told by cutting the connection: the client then sees a
    // broken transfer instead of a short list it would take for complete.
    if (rows < 0) return false;
    if (rows == 0) {
        chunk.append(ListTrailer(state.query.kind));
        // Marked before the last bytes go, so any request the client makes once it has read
        // them (on whatever connection) already sees the new state.
        if (state.mark) {
            Store store(*lease);
            state.marked = store.MarkSynced(state.mark->before.id, state.mark->rev, std::time(nullptr));
        }
    }
    if (!chunk.empty() && !sink.write(chunk.data(), chunk.size())) return false;
    state.info.bytes += chunk.size();
    if (rows == 0) {
        state.finished = true;
        sink.done();
    }
    return true;
}

void FinishStream(StreamState& state, bool success) {
    const bool complete = success && state.finished;
    if (!complete && state.marked) {
        auto lease = state.context.pool.Acquire();
        if (lease) Store(*lease).UndoMarkSynced(state.mark->before, state.mark->rev);
    }
    state.info.status = complete ? 200 : 599;
    if (state.context.log_requests) LogRequest(state.info);
}

void StreamList(ServiceContext& context, httplib::Response& res, RequestInfo& info, const ListQuery& query,
                std::optional<SyncMark> mark, std::shared_ptr<const RenderedList> rendered = nullptr) {
    info.deferred = true;
    auto state = std::make_shared<StreamState>(StreamState{context, query, info, mark, std::move(rendered)});
    state->cursor = query.after_rev;  // changes start after the user's revision, lists at the start
    res.set_chunked_content_provider(
        "text/plain", [state](std::size_t, httplib::DataSink& sink) { return ProduceChunk(*state, sink); },
        [state](bool success) { FinishStream(*state, success); });
}

void ServeList(ServiceContext& context, ListKind kind, const httplib::Request& req, httplib::Response& res,
               RequestInfo& info) {
    const auto session = SessionOf(context, req, info);
    if (!session) return SetText(res, kNotLoggedIn);
    const ListQuery query{kind, session->user_id, 0, 0};
    if (kind == ListKind::kOfficial) {
        auto lease = context.pool.Acquire();
        auto rendered = lease ? context.official_list.Current(*lease) : nullptr;
        if (!rendered) return SetText(res, kDatabaseFailed);
        return StreamList(context, res, info, query, std::nullopt, std::move(rendered));
    }
    std::optional<SyncMark> mark;
    if (kind == ListKind::kPersonal) {
        // The personal list closes a full retrieval: the user's cache now reflects at least
        // every change up to the logon, so later change downloads start from there.
        auto lease = context.pool.Acquire();
        if (!lease) return SetText(res, kDatabaseFailed);
        const auto user = Store(*lease).UserById(session->user_id);
        if (!user) return SetText(res, kNotLoggedIn);
        mark = SyncMark{*user, session->logon_rev};
    }
    StreamList(context, res, info, query, mark);
}

void ServeChanges(ServiceContext& context, const httplib::Request& req, httplib::Response& res, RequestInfo& info) {
    const auto session = SessionOf(context, req, info);
    if (!session) return SetText(res, kNotLoggedIn);
    auto lease = context.pool.Acquire();
    if (!lease) return SetText(res, kDatabaseFailed);
    Store store(*lease);
    const auto user = store.UserById(session->user_id);
    if (!user) return SetText(res, kNotLoggedIn);
    // A user who never finished a retrieval is taken to hold what existed at the logon.
    const std::int64_t after = user->synced_rev.value_or(session->logon_rev);
    const std::int64_t through = store.HeadRevision();
    const ListQuery query{ListKind::kChanges, user->id, after, through};
    StreamList(context, res, info, query, SyncMark{*user, through});
}

void ServeUpload(ServiceContext& context, const httplib::Request& req, httplib::Response& res, RequestInfo& info) {
    const auto session = SessionOf(context, req, info);
    if (!session) return SetText(res, kNotLoggedIn);
    const ParsedChangeList list = ParseChangeList(req.body);
    if (!list.has_header) return SetText(res, kNoChangeList);
    auto lease = context.pool.Acquire();
    if (!lease) return SetText(res, kDatabaseFailed);
    Store store(*lease);
    const auto result = store.StoreUpload(session->user_id, list.lines, std::time(nullptr));
    if (!result) return SetText(res, kDatabaseFailed);
    SetText(res, "OK:" + std::to_string(result->stored) + ":" + std::to_string(result->accepted));
}

void RunLogged(ServiceContext& context, const LoggedHandler& handler, const httplib::Request& req,
               httplib::Response& res, std::chrono::steady_clock::time_point started) {
    RequestInfo info;
    info.method = req.method;
    info.path = req.path;
    info.started = started;
    handler(req, res, info);
    if (info.deferred) return;
    info.status = res.status;
    info.bytes = res.body.size();
    if (context.log_requests) LogRequest(info);
}

// Reads the body into `body`. A body over `limit` is read on to its end without being kept, so
// the connection stays in step for the client's next request (the connection's own byte
// budget ends one that goes on too long). False, with the status of the refusal set, when the
// body is too large or could not be read whole.
bool ReadBody(const httplib::ContentReader& reader, std::size_t limit, std::string& body, httplib::Response& res) {
    bool too_large = false;
    const bool whole = reader([&](const char* data, std::size_t size) {
        if (!too_large && size <= limit - body.size()) {
            body.append(data, size);
            return true;
        }
        too_large = true;
        std::string().swap(body);
        return true;
    });
    if (whole && !too_large) return true;
    // The library refuses a declared length over the limit itself, with 413.
    if (too_large) res.status = 413;
    if (res.status != 413) res.status = 400;
    return false;
}

}  // namespace

void SetText(httplib::Response& res, std::string_view text) {
    res.status = 200;
    res.set_content(text.data(), text.size(), "text/plain");
}

httplib::Server::Handler Logged(ServiceContext& context, LoggedHandler handler) {
    return [&context, handler = std::move(handler)](const httplib::Request& req, httplib::Response& res) {
        RunLogged(context, handler, req, res, std::chrono::steady_clock::now());
    };
}

httplib::Server::HandlerWithContentReader LoggedWithBody(ServiceContext& context, LoggedHandler handler) {
    return [&context, handler = std::move(handler)](const httplib::Request& req, httplib::Response& res,
                                                    const httplib::ContentReader& reader) {
        const auto started = std::chrono::steady_clock::now();
        httplib::Request whole = req;
        if (!ReadBody(reader, context.max_body, whole.body, res)) return;
        RunLogged(context, handler, whole, res, started);
    };
}

void RegisterFallbacks(httplib::Server& server, ServiceContext& context) {
    const auto not_found = [&context](const httplib::Request&, httplib::Response& res, const httplib::ContentReader& reader) {
        std::string body;
        if (ReadBody(reader, context.max_body, body, res)) res.status = 404;
    };
    server.Post(".*", not_found);
    server.Put(".*", not_found);
    server.Patch(".*", not_found);
    server.Delete(".*", not_found);
}

void RegisterSyncEndpoints(httplib::Server& server, ServiceContext& context) {
    using Serve = void (*)(ServiceContext&, const httplib::Request&, httplib::Response&, RequestInfo&);
    const auto call = [&context](Serve serve) -> LoggedHandler {
        return [&context, serve](const auto& req, auto& res, auto& info) { serve(context, req, res, info); };
    };
    const auto bind = [&](Serve serve) { return Logged(context, call(serve)); };
    const auto post = [&](Serve serve) { return LoggedWithBody(context, call(serve)); };
    auto list = [&context](ListKind kind) {
        return Logged(context, [&context, kind](const auto& req, auto& res, auto& info) {
            ServeList(context, kind, req, res, info);
        });
    };
    server.Post("/POIDataBase/LoGon.php", post(ServeLogon));
    server.Post("/POIDataBase/Updates.php", post(ServeUpdates));
    server.Get("/POIDataBase/mut.php", list(ListKind::kMutations));
    server.Get("/POIDataBase/off.php", list(ListKind::kOfficial));
    server.Get("/POIDataBase/per.php", list(ListKind::kPersonal));
    server.Get("/POIDataBase/D0Sync.php", bind(ServeChanges));
    server.Post("/POIDataBase/upl0ad.php", post(ServeUpload));
}

}  // namespace poidb
