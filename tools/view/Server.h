// The web server of qtx view, on Boost.Beast: one thread, the loopback
// address only, and nothing served without the token as the first step of
// the path. Requests are small GETs (bounded header and body, a timeout on
// every read and write, a bounded count of open connections); what they ask
// for is answered by the handler.
#ifndef QTX_TOOLS_VIEW_SERVER_H
#define QTX_TOOLS_VIEW_SERVER_H

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

namespace qtx::tool::view {

// A piece of a streamed answer: appends the next piece of text to `out` and
// returns false after the last one. A throw ends the connection without the
// answer's end, so that the client sees that it is cut short.
using Pieces = std::function<bool(std::string& out)>;

struct Reply {
  Reply() = default;
  Reply(unsigned s, std::string type, std::string text)
      : status(s), contentType(std::move(type)), body(std::move(text)) {}

  unsigned status = 200;
  std::string contentType = "text/plain; charset=utf-8";
  std::string body;
  // When set, the body is sent in chunks as `pieces` gives them, instead of
  // `body`: an answer of any size in the memory of one piece.
  Pieces pieces;
  // A Content-Disposition header, when not empty (a download's name).
  std::string disposition;
};

// Answers the path after "/TOKEN" (starting with '/') and the query (after
// '?', without it).
using Handler = std::function<Reply(std::string_view path, std::string_view query)>;

class Server {
 public:
  // Listens on 127.0.0.1:port (0: the system picks); throws Failure when it
  // cannot.
  Server(std::string token, unsigned short port, Handler handler);
  ~Server();
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  unsigned short Port() const;
  // Serves until SIGINT or SIGTERM. `tick`, when given, is called every
  // quarter of a second until it returns false.
  void Run(std::function<bool()> tick = {});

  struct Impl;  // in Server.cpp, with everything of Beast

 private:
  std::unique_ptr<Impl> m_impl;
};

// 128 random bits from std::random_device, as 32 hexadecimal digits.
std::string NewToken();

}  // namespace qtx::tool::view

#endif  // QTX_TOOLS_VIEW_SERVER_H
