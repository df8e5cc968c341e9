// The preview's network side on Boost.Beast: one thread runs every socket; the preview itself runs
// on the worker's thread, so a slow render never holds up the mouse messages behind it.
#include "Server.h"

#include "Access.h"
#include "PageFiles.h"
#include "PreviewWorker.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/signal_set.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>

#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <iostream>
#include <map>
#include <mutex>
#include <optional>

extern char** environ;

namespace corvelle::serve {
namespace {

namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
namespace net = boost::asio;
using tcp = net::ip::tcp;

constexpr std::size_t kMaxHeaderBytes = 8 * 1024;
constexpr std::size_t kMaxBodyBytes = 4 * 1024;
constexpr int kMaxConnections = 32;
constexpr auto kRequestTimeout = std::chrono::seconds(30);

/// Log lines from both threads, one at a time.
class Logger {
public:
    explicit Logger(std::ostream& out) : m_out(out) {}
    void Line(const std::string& text) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_out << "corvelle: serve: " << text << std::endl;
    }

private:
    std::ostream& m_out;
    std::mutex m_mutex;
};

class WebSocketSession;

/// What the socket thread shares: the access rules, the worker and the open WebSockets.
struct Shared {
    explicit Shared(Logger& logger) : log(logger) {}
    std::optional<AccessPolicy> access;   // known once the port is
    Logger& log;
    PreviewWorker* worker = nullptr;
    std::map<uint64_t, std::shared_ptr<WebSocketSession>> sockets;
    uint64_t nextClient = 1;
    int connections = 0;
    bool stopping = false;
};

/// Counts a connection for as long as it lives.
class ConnectionSlot {
public:
    explicit ConnectionSlot(Shared& shared) : m_shared(shared) { ++m_shared.connections; }
    ~ConnectionSlot() { --m_shared.connections; }
    ConnectionSlot(const ConnectionSlot&) = delete;
    ConnectionSlot& operator=(const ConnectionSlot&) = delete;

private:
    Shared& m_shared;
};

class WebSocketSession : public std::enable_shared_from_this<WebSocketSession> {
public:
    WebSocketSession(tcp::socket&& socket, Shared& shared, std::unique_ptr<ConnectionSlot> slot)
        : m_ws(std::move(socket)), m_shared(shared), m_slot(std::move(slot)) {}

    void Start(http::request<http::string_body> request) {
        m_ws.set_option(websocket::stream_base::timeout::suggested(beast::role_type::server));
        m_ws.set_option(websocket::stream_base::decorator(
            [](websocket::response_type& response) { response.set(http::field::server, "corvelle"); }));
        m_ws.read_message_max(kMaxMessageBytes);
        m_ws.async_accept(request, [self = shared_from_this()](beast::error_code ec) { self->OnAccept(ec); });
    }

    void Send(const Outgoing& message) {
        if (message.kind != Outgoing::Kind::Keep) {
            for (auto it = m_queue.begin(); it != m_queue.end();) {
                const bool useless = it->kind == message.kind || (message.kind == Outgoing::Kind::Frame &&
                                                                  it->kind == Outgoing::Kind::State);
                it = useless ? m_queue.erase(it) : std::next(it);
            }
        }
        m_queue.push_back(message);
        WriteNext();
    }

    void Close() {
        beast::error_code ignored;
        beast::get_lowest_layer(m_ws).socket().shutdown(tcp::socket::shutdown_both, ignored);
        beast::get_lowest_layer(m_ws).socket().close(ignored);
    }

private:
    void OnAccept(beast::error_code ec) {
        if (ec) {
            m_shared.log.Line("WebSocket handshake failed: " + ec.message());
            return;
        }
        m_id = m_shared.nextClient++;
        m_shared.sockets[m_id] = shared_from_this();
        m_shared.worker->Greet(m_id);
        Read();
    }

    void Read() {
        m_ws.async_read(m_buffer,
                        [self = shared_from_this()](beast::error_code ec, std::size_t) { self->OnRead(ec); });
    }

    void OnRead(beast::error_code ec) {
        if (ec) {
            if (ec == websocket::error::message_too_big) {
                m_shared.log.Line("closed a WebSocket that sent a message over " +
                                  std::to_string(kMaxMessageBytes) + " bytes");
            } else if (ec != websocket::error::closed && ec != net::error::operation_aborted &&
                       ec != net::error::eof) {
                m_shared.log.Line("WebSocket: " + ec.message());
            }
            m_shared.sockets.erase(m_id);
            return;
        }
        const std::string text = beast::buffers_to_string(m_buffer.data());
        m_buffer.consume(m_buffer.size());
        try {
            if (!m_ws.got_text()) {
                throw BadMessage("binary messages are not accepted");
            }
            const ClientMessage message = ParseMessage(text);
            if (message.kind == MessageKind::FrameShown) {
                m_frameInFlight = false;
                WriteNext();
            } else {
                m_shared.worker->Push(m_id, message);
            }
        } catch (const BadMessage& e) {
            const std::string what = std::string("refused a message: ") + e.what();
            m_shared.log.Line(what);
            Send(Outgoing{std::make_shared<const std::string>(
                              nlohmann::json{{"t", "error"}, {"status", 400}, {"message", what}}.dump()),
                          Outgoing::Kind::Keep, false, m_id});
        }
        Read();
    }

    void WriteNext() {
        if (m_writing) {
            return;
        }
        // One picture at a time: the next waits until the page says it has drawn this one, and
        // meanwhile newer pictures replace it. Without this, pictures pile up in the socket
        // buffers, megabytes deep, and the page shows the mouse's position of a second ago.
        const auto next = std::find_if(m_queue.begin(), m_queue.end(), [this](const Outgoing& m) {
            return !(m.kind == Outgoing::Kind::Frame && m_frameInFlight);
        });
        if (next == m_queue.end()) {
            return;
        }
        m_writing = true;
        m_current = *next;
        m_queue.erase(next);
        if (m_current.kind == Outgoing::Kind::Frame) {
            m_frameInFlight = true;
        }
        m_ws.binary(m_current.binary);
        m_ws.async_write(net::buffer(*m_current.bytes),
                         [self = shared_from_this()](beast::error_code ec, std::size_t) {
                             self->m_writing = false;
                             self->m_current = Outgoing{};
                             if (!ec) {
                                 self->WriteNext();
                             }
                         });
    }

    websocket::stream<beast::tcp_stream> m_ws;
    Shared& m_shared;
    std::unique_ptr<ConnectionSlot> m_slot;
    beast::flat_buffer m_buffer;
    uint64_t m_id = 0;
    std::deque<Outgoing> m_queue;
    Outgoing m_current;
    bool m_writing = false;
    bool m_frameInFlight = false;
};

class HttpSession : public std::enable_shared_from_this<HttpSession> {
public:
    HttpSession(tcp::socket&& socket, Shared& shared)
        : m_stream(std::move(socket)), m_shared(shared), m_slot(std::make_unique<ConnectionSlot>(shared)) {}

    void Start() { Read(); }

private:
    void Read() {
        m_parser.emplace();
        m_parser->header_limit(kMaxHeaderBytes);
        m_parser->body_limit(kMaxBodyBytes);
        m_stream.expires_after(kRequestTimeout);
        http::async_read(
            m_stream, m_buffer, *m_parser,
            [self = shared_from_this()](beast::error_code ec, std::size_t) { self->OnRead(ec); });
    }

    void OnRead(beast::error_code ec) {
        if (ec == http::error::end_of_stream || ec == net::error::operation_aborted ||
            ec == beast::error::timeout || ec == net::error::eof || ec == net::error::connection_reset) {
            Close();
            return;
        }
        if (ec) {
            const bool tooLarge = ec == http::error::body_limit || ec == http::error::header_limit ||
                                  ec == http::error::buffer_overflow;
            m_shared.log.Line("refused a malformed request: " + ec.message());
            Reply(tooLarge ? http::status::payload_too_large : http::status::bad_request, "",
                  "request refused\n", false);
            return;
        }
        Handle(m_parser->release());
    }

    void Handle(http::request<http::string_body> request) {
        const std::string host(request[http::field::host]);
        const bool hasOrigin = request.find(http::field::origin) != request.end();
        const std::string origin(request[http::field::origin]);
        const std::string target(request.target());
        const std::string path = target.substr(0, target.find('?'));
        const bool keepAlive = request.keep_alive();
        if (!m_shared.access->HostAllowed(host)) {
            return Refuse(http::status::forbidden, "refused a request for host \"" + host + "\"", host);
        }
        if (hasOrigin && !m_shared.access->OriginAllowed(origin)) {
            return Refuse(http::status::forbidden, "refused a request from origin \"" + origin + "\"", host);
        }
        if (request.method() != http::verb::get && request.method() != http::verb::head) {
            return Refuse(http::status::method_not_allowed,
                          "refused a " + std::string(request.method_string()) + " request", host);
        }
        const bool withCookie = m_shared.access->CookieHasToken(std::string(request[http::field::cookie]));
        if (websocket::is_upgrade(request)) {
            if (path != "/ws" || !withCookie || !hasOrigin) {
                return Refuse(http::status::forbidden,
                              "refused a WebSocket without the session's cookie or origin", host);
            }
            if (m_shared.sockets.size() >= static_cast<std::size_t>(kMaxConnections)) {
                return Refuse(http::status::service_unavailable, "refused a WebSocket: too many open", host);
            }
            auto session =
                std::make_shared<WebSocketSession>(m_stream.release_socket(), m_shared, std::move(m_slot));
            session->Start(std::move(request));
            return;
        }
        if (path == "/" && m_shared.access->QueryHasToken(target)) {
            // The token moves into a cookie and out of the address bar and the history.
            http::response<http::string_body> response{http::status::see_other, request.version()};
            response.set(http::field::location, "/");
            response.set(http::field::set_cookie, m_shared.access->SetCookieValue());
            return Send(std::move(response), host, keepAlive);
        }
        if (!withCookie) {
            return Refuse(http::status::forbidden,
                          "refused a request for " + path + " without the session's token", host);
        }
        const PageFile* file = FindPageFile(path);
        if (file == nullptr) {
            return Reply(http::status::not_found, host, "not found\n", keepAlive);
        }
        http::response<http::string_body> response{http::status::ok, request.version()};
        response.set(http::field::content_type, std::string(file->contentType));
        response.body() = request.method() == http::verb::head ? std::string() : std::string(file->body);
        Send(std::move(response), host, keepAlive);
    }

    void Refuse(http::status status, const std::string& why, const std::string& host) {
        m_shared.log.Line(why);
        Reply(status, host, "refused\n", false);
    }

    void Reply(http::status status, const std::string& host, const std::string& body, bool keepAlive) {
        http::response<http::string_body> response{status, 11};
        response.set(http::field::content_type, "text/plain; charset=utf-8");
        response.body() = body;
        Send(std::move(response), host, keepAlive);
    }

    void Send(http::response<http::string_body>&& response, const std::string& host, bool keepAlive) {
        response.set(http::field::server, "corvelle");
        response.set(http::field::cache_control, "no-store");
        response.set("X-Content-Type-Options", "nosniff");
        response.set("X-Frame-Options", "DENY");
        response.set("Referrer-Policy", "no-referrer");
        response.set("Cross-Origin-Opener-Policy", "same-origin");
        response.set("Cross-Origin-Resource-Policy", "same-origin");
        if (m_shared.access->HostAllowed(host)) {
            response.set("Content-Security-Policy", m_shared.access->ContentSecurityPolicy(host));
        } else {
            response.set("Content-Security-Policy", "default-src 'none'");
        }
        response.keep_alive(keepAlive);
        response.prepare_payload();
        auto held = std::make_shared<http::response<http::string_body>>(std::move(response));
        http::async_write(m_stream, *held,
                          [self = shared_from_this(), held, keepAlive](beast::error_code ec, std::size_t) {
                              if (ec || !keepAlive) {
                                  self->Close();
                                  return;
                              }
                              self->Read();
                          });
    }

    void Close() {
        beast::error_code ignored;
        m_stream.socket().shutdown(tcp::socket::shutdown_send, ignored);
    }

    beast::tcp_stream m_stream;
    Shared& m_shared;
    std::unique_ptr<ConnectionSlot> m_slot;
    beast::flat_buffer m_buffer;
    std::optional<http::request_parser<http::string_body>> m_parser;
};

class Listener {
public:
    Listener(net::io_context& io, tcp::acceptor& acceptor, Shared& shared)
        : m_io(io), m_acceptor(acceptor), m_shared(shared) {}

    void Accept() {
        m_acceptor.async_accept(m_io, [this](beast::error_code ec, tcp::socket socket) {
            if (ec) {
                if (ec != net::error::operation_aborted) {
                    m_shared.log.Line("accepting a connection: " + ec.message());
                    Accept();
                }
                return;
            }
            beast::error_code ignored;
            // Small messages must leave at once: Nagle's delay makes drags lag behind the mouse.
            socket.set_option(tcp::no_delay(true), ignored);
            if (m_shared.connections >= kMaxConnections * 2) {
                socket.close(ignored);
            } else {
                std::make_shared<HttpSession>(std::move(socket), m_shared)->Start();
            }
            Accept();
        });
    }

private:
    net::io_context& m_io;
    tcp::acceptor& m_acceptor;
    Shared& m_shared;
};

/// Binds `address`:`port`; with the default port, a busy one gives way to a free one.
void Bind(tcp::acceptor& acceptor, const net::ip::address& address, int port) {
    const auto tryBind = [&](unsigned short p, beast::error_code& ec) {
        const tcp::endpoint endpoint(address, p);
        acceptor.open(endpoint.protocol(), ec);
        if (!ec) {
            acceptor.set_option(net::socket_base::reuse_address(true), ec);
        }
        if (!ec) {
            acceptor.bind(endpoint, ec);
        }
        if (!ec) {
            acceptor.listen(net::socket_base::max_listen_connections, ec);
        }
        if (ec) {
            beast::error_code ignored;
            acceptor.close(ignored);
        }
    };
    beast::error_code ec;
    tryBind(port < 0 ? kDefaultPort : static_cast<unsigned short>(port), ec);
    if (ec && port < 0) {
        ec = {};
        tryBind(0, ec);
    }
    if (ec) {
        throw Error("listening on " + address.to_string() + ":" +
                        std::to_string(port < 0 ? kDefaultPort : port) + ": " + ec.message(),
                    ErrorKind::IO);
    }
}

void OpenBrowser(const std::string& url, Logger& log) {
    const char* argv[] = {"xdg-open", url.c_str(), nullptr};
    pid_t pid = 0;
    if (posix_spawnp(&pid, "xdg-open", nullptr, nullptr, const_cast<char* const*>(argv), environ) != 0) {
        log.Line("--open: xdg-open could not be started; open the address by hand");
    }
}

}   // namespace

void RunServer(const ServerConfig& config, std::ostream& out, std::ostream& logStream) {
    Logger log(logStream);
    beast::error_code ec;
    const std::string hostText = config.listenAddress.empty() ? "127.0.0.1" : config.listenAddress;
    const net::ip::address address = net::ip::make_address(hostText, ec);
    if (ec) {
        throw Error("--listen: \"" + hostText + "\" is not an IP address", ErrorKind::BadValue);
    }
    auto preview = std::make_unique<Preview>(config.preview);

    // Declared before the sockets' context, whose destructor drops handlers that still hold sessions.
    Shared shared(log);
    net::io_context io(1);
    tcp::acceptor acceptor(io);
    Bind(acceptor, address, config.port);
    const unsigned short port = acceptor.local_endpoint().port();
    shared.access.emplace(NewToken(), port, config.listenAddress);

    PreviewWorker worker(
        std::move(preview),
        [&io, &shared](Outgoing message) {
            net::post(io, [&shared, message = std::move(message)] {
                if (message.to != 0) {
                    const auto it = shared.sockets.find(message.to);
                    if (it != shared.sockets.end()) {
                        it->second->Send(message);
                    }
                    return;
                }
                for (auto& [id, socket] : shared.sockets) {
                    socket->Send(message);
                }
            });
        },
        [&log](const std::string& line) { log.Line(line); });
    shared.worker = &worker;

    Listener listener(io, acceptor, shared);
    listener.Accept();
    net::signal_set signals(io, SIGINT, SIGTERM);
    signals.async_wait([&](beast::error_code, int) {
        shared.stopping = true;
        beast::error_code ignored;
        acceptor.close(ignored);
        for (auto& [id, socket] : shared.sockets) {
            socket->Close();
        }
        io.stop();
    });

    const bool v6 = address.is_v6();
    const std::string url = "http://" + (v6 ? "[" + hostText + "]" : hostText) + ":" + std::to_string(port) +
                            "/?token=" + shared.access->Token();
    if (!config.listenAddress.empty()) {
        log.Line(
            "WARNING: listening on " + hostText + ":" + std::to_string(port) +
            ", not only on this machine: anyone who can reach it and learns the address below can change "
            "the effect and write the output file");
    }
    out << "Preview at " << url << std::endl;
    if (config.openBrowser) {
        OpenBrowser(url, log);
    }
    io.run();
    worker.Stop();
    shared.sockets.clear();
    log.Line("stopped");
}

}   // namespace corvelle::serve
