#include "view/Server.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <list>
#include <cstdio>
#include <optional>
#include <random>

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/signal_set.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include "cli/Tool.h"

namespace qtx::tool::view {
namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

constexpr std::size_t kHeaderLimit = 8 * 1024;
constexpr std::size_t kBodyLimit = 1024;
// Connections that have shown the token; those that have not yet are
// bounded apart (the oldest makes room) and must send their request's
// header within a short time, so that idle ones cannot lock the page out.
constexpr std::size_t kMostConnections = 64;
constexpr std::size_t kMostStrangers = 256;
constexpr auto kTimeout = std::chrono::seconds(15);
constexpr auto kFirstTimeout = std::chrono::seconds(2);

// The same answer for every wrong token, whatever its length or content,
// and no early return on the first difference.
bool SameToken(std::string_view given, const std::string& token) {
  unsigned char differs = given.size() == token.size() ? 0 : 1;
  for (std::size_t i = 0; i < token.size(); ++i)
    differs |= static_cast<unsigned char>(token[i] ^ (i < given.size() ? given[i] : 0));
  return differs == 0;
}

class Session;

}  // namespace

struct Server::Impl {
  Impl(std::string t, Handler h) : token(std::move(t)), handler(std::move(h)) {}

  std::string token;
  Handler handler;
  std::size_t connections = 0;
  std::list<Session*> strangers;  // oldest first
  // Destroyed before the members above: pending sessions still count.
  asio::io_context io{1};
  tcp::acceptor acceptor{io};
  // From the start: a signal that comes before Run() still stops it cleanly.
  asio::signal_set signals{io, SIGINT, SIGTERM};

  // The token of a request's target, compared.
  bool HasToken(std::string_view target) const;
  Reply Answer(const http::request<http::string_body>& request) const;
  void Accept();
};

namespace {

class Session : public std::enable_shared_from_this<Session> {
 public:
  Session(tcp::socket socket, Server::Impl& server) : m_stream(std::move(socket)), m_server(server) {
    if (m_server.strangers.size() >= kMostStrangers) m_server.strangers.front()->Evict();
    m_stranger = m_server.strangers.insert(m_server.strangers.end(), this);
  }
  ~Session() {
    if (m_counted) --m_server.connections;
    Known();
  }

  // Makes room for a newer connection; its pending read ends.
  void Evict() {
    Known();
    Close();
  }

  void Read() {
    m_parser.emplace();
    m_parser->header_limit(kHeaderLimit);
    m_parser->body_limit(kBodyLimit);
    m_stream.expires_after(m_counted ? kTimeout : kFirstTimeout);
    http::async_read_header(m_stream, m_buffer, *m_parser, [self = shared_from_this()](beast::error_code error,
                                                                                       std::size_t) {
      self->OnHeader(error);
    });
  }

 private:
  static bool Ends(beast::error_code error) {
    return error == http::error::end_of_stream || error == beast::error::timeout || error == asio::error::eof ||
           error == asio::error::connection_reset || error == asio::error::operation_aborted ||
           error == asio::error::bad_descriptor;
  }

  // Off the list of connections that have not shown the token.
  void Known() {
    if (m_stranger == m_server.strangers.end()) return;
    m_server.strangers.erase(m_stranger);
    m_stranger = m_server.strangers.end();
  }

  void OnHeader(beast::error_code error) {
    if (Ends(error)) {
      Close();
      return;
    }
    if (error) {
      OnRead(error);
      return;
    }
    const auto target = m_parser->get().target();
    if (!m_server.HasToken(std::string_view(target.data(), target.size()))) {
      Write({403, "text/plain; charset=utf-8", "forbidden: the address needs the token\n"}, false, 11);
      return;
    }
    if (!m_counted) {
      Known();
      if (m_server.connections >= kMostConnections) {
        Write({503, "text/plain; charset=utf-8", "too many connections\n"}, false, 11);
        return;
      }
      ++m_server.connections;
      m_counted = true;
    }
    m_stream.expires_after(kTimeout);
    http::async_read(m_stream, m_buffer, *m_parser,
                     [self = shared_from_this()](beast::error_code e, std::size_t) { self->OnRead(e); });
  }

  void OnRead(beast::error_code error) {
    if (Ends(error)) {
      Close();
      return;
    }
    if (error) {
      // A request too large or not HTTP: one answer, then the connection ends.
      Reply reply{400, "text/plain; charset=utf-8", "bad request: " + error.message() + "\n"};
      Write(reply, false, 11);
      return;
    }
    const http::request<http::string_body>& request = m_parser->get();
    Write(m_server.Answer(request), request.keep_alive(), request.version(), request.method() == http::verb::head);
  }

  template <class Message>
  static void SetHeaders(Message& message, const Reply& reply, unsigned version) {
    message.version(version);
    message.result(reply.status);
    message.set(http::field::server, "qtx");
    message.set(http::field::content_type, reply.contentType);
    message.set(http::field::cache_control, "no-store");
    message.set("X-Content-Type-Options", "nosniff");
    // The token is in the address: no other site learns it, and the page
    // loads nothing but what this server serves.
    message.set("Referrer-Policy", "no-referrer");
    message.set("Content-Security-Policy", "default-src 'self'; img-src 'self' data:; frame-ancestors 'none'");
    if (!reply.disposition.empty()) message.set(http::field::content_disposition, reply.disposition);
  }

  void Write(const Reply& reply, bool keepAlive, unsigned version, bool head = false) {
    if (reply.pieces && !head) {
      Stream(reply, keepAlive, version);
      return;
    }
    m_response = {};
    SetHeaders(m_response, reply, version);
    if (reply.status == 302) m_response.set(http::field::location, reply.body);
    m_response.body() = head || reply.status == 302 ? std::string() : reply.body;
    m_response.prepare_payload();
    if (head) m_response.content_length(reply.body.size());
    m_response.keep_alive(keepAlive);
    m_stream.expires_after(kTimeout);
    http::async_write(m_stream, m_response,
                      [self = shared_from_this(), keepAlive](beast::error_code error, std::size_t) {
                        if (error || !keepAlive) {
                          self->Close();
                        } else {
                          self->Read();
                        }
                      });
  }

  // A streamed answer: the header, then a chunk per piece, each written
  // before the next is made, then the last chunk.
  void Stream(const Reply& reply, bool keepAlive, unsigned version) {
    m_pieces = reply.pieces;
    m_keepAlive = keepAlive;
    m_streamed.emplace();
    SetHeaders(*m_streamed, reply, version);
    m_streamed->chunked(true);
    m_streamed->keep_alive(keepAlive);
    m_streamed->body().data = nullptr;
    m_streamed->body().more = true;
    m_serializer.emplace(*m_streamed);
    m_stream.expires_after(kTimeout);
    http::async_write_header(m_stream, *m_serializer,
                             [self = shared_from_this()](beast::error_code error, std::size_t) {
                               self->NextPiece(error);
                             });
  }

  void NextPiece(beast::error_code error) {
    // need_buffer: the piece went out and the serializer wants the next.
    if (error && error != http::error::need_buffer) {
      EndStream();
      Close();
      return;
    }
    if (m_last) {
      const bool keepAlive = m_keepAlive;
      EndStream();
      if (keepAlive) {
        Read();
      } else {
        Close();
      }
      return;
    }
    m_piece.clear();
    bool more = false;
    try {
      more = m_pieces(m_piece);
    } catch (const std::exception& e) {
      Warn(std::string("an answer was cut short: ") + e.what());
      EndStream();
      Close();
      return;
    }
    m_last = !more;
    // An empty piece with more to come would read as the last chunk.
    if (m_piece.empty() && more) {
      asio::post(m_stream.get_executor(), [self = shared_from_this()]() { self->NextPiece({}); });
      return;
    }
    m_streamed->body().data = m_piece.empty() ? nullptr : m_piece.data();
    m_streamed->body().size = m_piece.size();
    m_streamed->body().more = more;
    m_stream.expires_after(kTimeout);
    http::async_write(m_stream, *m_serializer, [self = shared_from_this()](beast::error_code e, std::size_t) {
      self->NextPiece(e);
    });
  }

  void EndStream() {
    m_serializer.reset();
    m_streamed.reset();
    m_pieces = nullptr;
    m_piece = std::string();
    m_last = false;
  }

  void Close() {
    beast::error_code ignored;
    m_stream.socket().shutdown(tcp::socket::shutdown_both, ignored);
    m_stream.socket().close(ignored);
  }

  beast::tcp_stream m_stream;
  Server::Impl& m_server;
  beast::flat_buffer m_buffer{kHeaderLimit};
  std::optional<http::request_parser<http::string_body>> m_parser;
  http::response<http::string_body> m_response;
  // A streamed answer under way.
  std::optional<http::response<http::buffer_body>> m_streamed;
  std::optional<http::response_serializer<http::buffer_body>> m_serializer;
  Pieces m_pieces;
  std::string m_piece;
  bool m_keepAlive = false;
  bool m_last = false;
  bool m_counted = false;
  std::list<Session*>::iterator m_stranger;
};

}  // namespace

bool Server::Impl::HasToken(std::string_view target) const {
  const std::string_view path = target.substr(0, target.find('?'));
  // "/TOKEN" or "/TOKEN/...": anything else is refused before it is looked at.
  const std::size_t end = path.find('/', 1);
  const std::string_view given = path.size() > 1 && path[0] == '/' ? path.substr(1, end == path.npos ? path.npos : end - 1)
                                                                   : std::string_view();
  return SameToken(given, token);
}

Reply Server::Impl::Answer(const http::request<http::string_body>& request) const {
  const std::string_view target(request.target().data(), request.target().size());
  const std::size_t mark = target.find('?');
  const std::string_view path = target.substr(0, mark);
  const std::string_view query = mark == std::string_view::npos ? std::string_view() : target.substr(mark + 1);
  const std::size_t end = path.find('/', 1);
  if (!HasToken(target)) return {403, "text/plain; charset=utf-8", "forbidden: the address needs the token\n"};
  if (request.method() != http::verb::get && request.method() != http::verb::head)
    return {405, "text/plain; charset=utf-8", "method not allowed\n"};
  if (end == path.npos) return {302, "text/plain; charset=utf-8", "/" + token + "/"};
  try {
    return handler(path.substr(end), query);
  } catch (const std::exception& e) {
    return {500, "text/plain; charset=utf-8", std::string(e.what()) + "\n"};
  }
}

void Server::Impl::Accept() {
  acceptor.async_accept(io, [this](beast::error_code error, tcp::socket socket) {
    if (error == asio::error::operation_aborted || !acceptor.is_open()) return;
    if (!error) std::make_shared<Session>(std::move(socket), *this)->Read();
    Accept();
  });
}

Server::Server(std::string token, unsigned short port, Handler handler)
    : m_impl(std::make_unique<Impl>(std::move(token), std::move(handler))) {
  beast::error_code error;
  const tcp::endpoint endpoint(asio::ip::make_address_v4("127.0.0.1"), port);
  m_impl->acceptor.open(endpoint.protocol(), error);
  if (!error) m_impl->acceptor.bind(endpoint, error);
  if (!error) m_impl->acceptor.listen(asio::socket_base::max_listen_connections, error);
  if (error) throw Failure("cannot listen on 127.0.0.1:" + std::to_string(port) + ": " + error.message());
}

Server::~Server() = default;

unsigned short Server::Port() const { return m_impl->acceptor.local_endpoint().port(); }

void Server::Run(std::function<bool()> tick) {
  Impl& impl = *m_impl;
  impl.signals.async_wait([&impl](beast::error_code, int) {
    beast::error_code ignored;
    impl.acceptor.close(ignored);
    impl.io.stop();
  });
  asio::steady_timer timer(impl.io);
  std::function<void()> schedule = [&]() {
    timer.expires_after(std::chrono::milliseconds(250));
    timer.async_wait([&](beast::error_code error) {
      if (!error && tick()) schedule();
    });
  };
  if (tick) schedule();
  impl.Accept();
  impl.io.run();
}

std::string NewToken() {
  std::random_device device;
  static const char digits[] = "0123456789abcdef";
  std::string token;
  for (int i = 0; i < 4; ++i) {
    std::uint32_t word = device();
    for (int k = 0; k < 8; ++k, word >>= 4) token += digits[word & 15];
  }
  return token;
}

}  // namespace qtx::tool::view
