#include "tcp_frontend.h"

#include <asio.hpp>
#include <deque>
#include <stdexcept>
#include <thread>

#include "display_simulator.h"
#include "frame_parser.h"

namespace korvane::simulator {

using asio::ip::tcp;

namespace {

std::string PeerName(const tcp::socket& aSocket) {
  asio::error_code ec;
  const auto endpoint = aSocket.remote_endpoint(ec);
  if (ec) return "?";
  const auto address = endpoint.address();
  const std::string host = address.is_v6() ? "[" + address.to_string() + "]" : address.to_string();
  return host + ":" + std::to_string(endpoint.port());
}

// One accepted connection: reads, then handles the frames it holds one after
// the other (answering each before reading on), then reads again.
class Connection : public std::enable_shared_from_this<Connection> {
 public:
  Connection(tcp::socket aSocket, DisplaySimulator& aDisplay, const Faults& aFaults)
      : fSocket(std::move(aSocket)),
        fTimer(fSocket.get_executor()),
        fDisplay(aDisplay),
        fFaults(aFaults),
        fPeer(PeerName(fSocket)) {}

  void Start() { Read(); }

 private:
  void Read() {
    fSocket.async_read_some(asio::buffer(fBuffer),
                            [this, self = shared_from_this()](asio::error_code ec, std::size_t n) {
                              if (ec) return Close();
                              std::vector<std::string> frames;
                              const bool fits = fParser.Feed(std::string_view(fBuffer.data(), n), frames);
                              for (auto& frame : frames) fFrames.push_back(std::move(frame));
                              if (!fits) {
                                // Answer what came before, then give up on this connection.
                                fFrames.push_back({});
                                fOverflow = true;
                              }
                              Next();
                            });
  }

  void Next() {
    while (!fFrames.empty()) {
      std::string text = std::move(fFrames.front());
      fFrames.pop_front();
      if (fOverflow && fFrames.empty()) return Answer("ERROR: frame too long", true);
      std::string status = fDisplay.Receive(text, fPeer);
      if (fFaults.fNoReply) continue;
      if (fFaults.fReplyDelay.count() > 0) {
        fTimer.expires_after(fFaults.fReplyDelay);
        fTimer.async_wait([this, self = shared_from_this(), status](asio::error_code ec) {
          if (!ec) Answer(status, false);
        });
        return;
      }
      return Answer(std::move(status), false);
    }
    Read();
  }

  void Answer(std::string aStatus, bool aThenClose) {
    fOut = MakeFrame(aStatus);
    const bool withoutEtx = fFaults.fCloseBeforeEtx;
    if (withoutEtx) fOut.pop_back();
    asio::async_write(fSocket, asio::buffer(fOut),
                      [this, self = shared_from_this(), close = aThenClose || withoutEtx](asio::error_code ec,
                                                                                          std::size_t) {
                        if (ec || close) return Close();
                        Next();
                      });
  }

  void Close() {
    asio::error_code ignored;
    fTimer.cancel();
    fSocket.shutdown(tcp::socket::shutdown_both, ignored);
    fSocket.close(ignored);
  }

  tcp::socket fSocket;
  asio::steady_timer fTimer;
  DisplaySimulator& fDisplay;
  const Faults& fFaults;
  std::string fPeer;
  FrameParser fParser;
  std::array<char, 64 * 1024> fBuffer{};
  std::deque<std::string> fFrames;
  std::string fOut;
  bool fOverflow = false;
};

}  // namespace

struct TcpFrontend::Impl {
  explicit Impl(DisplaySimulator& aDisplay) : fDisplay(aDisplay) {}

  void Accept() {
    fAcceptor.async_accept([this](asio::error_code ec, tcp::socket socket) {
      if (ec) {
        if (ec == asio::error::operation_aborted || !fAcceptor.is_open()) return;
      } else {
        asio::error_code ignored;
        socket.set_option(tcp::no_delay(true), ignored);
        std::make_shared<Connection>(std::move(socket), fDisplay, fFaults)->Start();
      }
      Accept();
    });
  }

  DisplaySimulator& fDisplay;
  Faults fFaults;
  asio::io_context fIo;
  tcp::acceptor fAcceptor{fIo};
  std::thread fThread;
};

TcpFrontend::TcpFrontend(DisplaySimulator& aDisplay) : fImpl(std::make_unique<Impl>(aDisplay)) {}

TcpFrontend::~TcpFrontend() { Stop(); }

std::uint16_t TcpFrontend::Start(const std::string& aAddress, std::uint16_t aPort, const Faults& aFaults) {
  Impl& impl = *fImpl;
  impl.fFaults = aFaults;
  const std::string where = aAddress + ":" + std::to_string(aPort);
  asio::error_code ec;
  tcp::endpoint endpoint;
  const auto address = asio::ip::make_address(aAddress, ec);
  if (!ec) {
    endpoint = tcp::endpoint(address, aPort);
  } else {
    tcp::resolver resolver(impl.fIo);
    const auto results = resolver.resolve(aAddress, std::to_string(aPort), ec);
    if (ec || results.empty()) throw std::runtime_error("cannot resolve " + aAddress + ": " + ec.message());
    endpoint = results.begin()->endpoint();
  }
  impl.fAcceptor.open(endpoint.protocol(), ec);
  if (!ec) impl.fAcceptor.set_option(tcp::acceptor::reuse_address(true), ec);
  if (!ec) impl.fAcceptor.bind(endpoint, ec);
  // Refusing: the port stays bound but nobody listens, so connecting fails
  // with "connection refused".
  if (!ec && !aFaults.fRefuse) impl.fAcceptor.listen(asio::socket_base::max_listen_connections, ec);
  if (ec) throw std::runtime_error("cannot listen on " + where + ": " + ec.message());
  const std::uint16_t port = impl.fAcceptor.local_endpoint().port();
  if (!aFaults.fRefuse) impl.Accept();
  impl.fThread = std::thread([&impl] { impl.fIo.run(); });
  return port;
}

void TcpFrontend::Stop() {
  if (!fImpl) return;
  fImpl->fIo.stop();
  if (fImpl->fThread.joinable()) fImpl->fThread.join();
  // Destroying the context closes the listening socket and every connection.
  fImpl.reset();
}

}  // namespace korvane::simulator
