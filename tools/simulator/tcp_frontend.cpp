#include "tcp_frontend.h"

#include <asio.hpp>
#include <deque>
#include <future>
#include <stdexcept>
#include <thread>
#include <vector>

#include "display_simulator.h"
#include "frame_parser.h"
#include "simulator_system.h"

namespace korvane::simulator {

using asio::ip::tcp;

namespace {

constexpr std::chrono::seconds kFaultChangeLimit{5};

// Asio leaves its sockets to programs the process starts (a browser for a
// screenshot); a listening socket there would keep the port after a stop.
template <typename Socket>
void KeepFromChildren(Socket& aSocket) {
  KeepSocketFromChildren(static_cast<std::uintptr_t>(aSocket.native_handle()));
}

std::string PeerName(const tcp::socket& aSocket) {
  asio::error_code ec;
  const auto endpoint = aSocket.remote_endpoint(ec);
  if (ec) return "?";
  const auto address = endpoint.address();
  const std::string host = address.is_v6() ? "[" + address.to_string() + "]" : address.to_string();
  return host + ":" + std::to_string(endpoint.port());
}

class Connection;
// Connections with something to read while the display does not read, in
// the order they stopped.
using Parking = std::vector<std::shared_ptr<Connection>>;

// One accepted connection: waits until it can read, reads, then handles the
// frames it holds one after the other (answering each before reading on),
// then waits again.
class Connection : public std::enable_shared_from_this<Connection> {
 public:
  Connection(tcp::socket aSocket, DisplaySimulator& aDisplay, Parking& aParking)
      : fSocket(std::move(aSocket)),
        fTimer(fSocket.get_executor()),
        fDisplay(aDisplay),
        fParking(aParking),
        fPeer(PeerName(fSocket)) {}

  void Start() {
    asio::error_code ignored;
    fSocket.non_blocking(true, ignored);
    Read();
  }

  // The display reads again: handles at once what arrived meanwhile.
  void Resume() { ReadNow(); }

 private:
  void Read() {
    fSocket.async_wait(tcp::socket::wait_read, [this, self = shared_from_this()](asio::error_code ec) {
      if (ec) return Close();
      ReadNow();
    });
  }

  void ReadNow() {
    if (fDisplay.CurrentFaults().fStopReading) return fParking.push_back(shared_from_this());
    asio::error_code ec;
    const std::size_t n = fSocket.read_some(asio::buffer(fBuffer), ec);
    if (ec == asio::error::would_block || ec == asio::error::try_again) return Read();
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
  }

  void Next() {
    while (!fFrames.empty()) {
      std::string text = std::move(fFrames.front());
      fFrames.pop_front();
      if (fOverflow && fFrames.empty()) return Answer("ERROR: frame too long", true);
      std::string status = fDisplay.Receive(text, fPeer);
      const Faults faults = fDisplay.CurrentFaults();
      if (faults.fNoReply) continue;
      if (faults.fReplyDelay.count() > 0) {
        fTimer.expires_after(faults.fReplyDelay);
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
    const Faults faults = fDisplay.CurrentFaults();
    fOut = MakeFrame(aStatus);
    if (faults.fCloseBeforeEtx) fOut.pop_back();
    fCloseAfterAnswer = aThenClose || faults.fCloseBeforeEtx;
    fSent = 0;
    if (faults.fTrickle.count() > 0) return Trickle(faults.fTrickle);
    asio::async_write(fSocket, asio::buffer(fOut),
                      [this, self = shared_from_this()](asio::error_code ec, std::size_t) { Answered(ec); });
  }

  // One byte of the answer after each aDelay.
  void Trickle(std::chrono::milliseconds aDelay) {
    fTimer.expires_after(aDelay);
    fTimer.async_wait([this, self = shared_from_this(), aDelay](asio::error_code ec) {
      if (ec) return;
      asio::async_write(fSocket, asio::buffer(fOut.data() + fSent, 1),
                        [this, self, aDelay](asio::error_code ec, std::size_t) {
                          if (ec) return Close();
                          if (++fSent < fOut.size()) return Trickle(aDelay);
                          Answered(ec);
                        });
    });
  }

  void Answered(asio::error_code aError) {
    if (aError || fCloseAfterAnswer) return Close();
    Next();
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
  Parking& fParking;
  std::string fPeer;
  FrameParser fParser;
  std::array<char, 64 * 1024> fBuffer{};
  std::deque<std::string> fFrames;
  std::string fOut;
  std::size_t fSent = 0;
  bool fCloseAfterAnswer = false;
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
        KeepFromChildren(socket);
        socket.set_option(tcp::no_delay(true), ignored);
        std::make_shared<Connection>(std::move(socket), fDisplay, fParking)->Start();
      }
      Accept();
    });
  }

  void Bind(asio::error_code& ec) {
    fAcceptor.open(fEndpoint.protocol(), ec);
    if (!ec) KeepFromChildren(fAcceptor);
    if (!ec) fAcceptor.set_option(tcp::acceptor::reuse_address(true), ec);
    if (!ec) fAcceptor.bind(fEndpoint, ec);
    if (ec) {
      asio::error_code ignored;
      fAcceptor.close(ignored);
    }
  }

  // Refusing: the port stays bound but nobody listens, so connecting fails
  // with "connection refused". A socket cannot stop listening: a new one
  // takes the port.
  void Listen(bool aListen, asio::error_code& ec) {
    if (aListen == fListening && fAcceptor.is_open()) return;
    if (fListening || !fAcceptor.is_open()) {
      asio::error_code ignored;
      fAcceptor.close(ignored);
      fListening = false;
      Bind(ec);
      if (ec) return;
    }
    if (!aListen) return;
    fAcceptor.listen(asio::socket_base::max_listen_connections, ec);
    if (ec) return;
    fListening = true;
    Accept();
  }

  void Apply(const Faults& aFaults, asio::error_code& ec) {
    Listen(!aFaults.fRefuse, ec);
    if (aFaults.fStopReading) return;
    Parking waiting;
    waiting.swap(fParking);
    for (const auto& connection : waiting) connection->Resume();
  }

  DisplaySimulator& fDisplay;
  tcp::endpoint fEndpoint;
  bool fListening = false;
  asio::io_context fIo;
  // The thread runs on while nothing listens and no connection is open.
  asio::executor_work_guard<asio::io_context::executor_type> fWork = asio::make_work_guard(fIo);
  tcp::acceptor fAcceptor{fIo};
  Parking fParking;  // after the context: its sockets go before it
  std::thread fThread;
};

TcpFrontend::TcpFrontend(DisplaySimulator& aDisplay) : fImpl(std::make_unique<Impl>(aDisplay)) {}

TcpFrontend::~TcpFrontend() { Stop(); }

std::uint16_t TcpFrontend::Start(const std::string& aAddress, std::uint16_t aPort, bool aRefuse) {
  Impl& impl = *fImpl;
  const std::string where = aAddress + ":" + std::to_string(aPort);
  asio::error_code ec;
  const auto address = asio::ip::make_address(aAddress, ec);
  if (!ec) {
    impl.fEndpoint = tcp::endpoint(address, aPort);
  } else {
    tcp::resolver resolver(impl.fIo);
    const auto results = resolver.resolve(aAddress, std::to_string(aPort), ec);
    if (ec || results.empty()) throw std::runtime_error("cannot resolve " + aAddress + ": " + ec.message());
    impl.fEndpoint = results.begin()->endpoint();
  }
  impl.Bind(ec);
  if (!ec) impl.Listen(!aRefuse, ec);
  if (ec) throw std::runtime_error("cannot listen on " + where + ": " + ec.message());
  // Switching to refusing binds anew: to the port it has now.
  impl.fEndpoint.port(impl.fAcceptor.local_endpoint().port());
  impl.fThread = std::thread([&impl] { impl.fIo.run(); });
  return impl.fEndpoint.port();
}

void TcpFrontend::FaultsChanged(const Faults& aFaults) {
  if (!fImpl || !fImpl->fThread.joinable()) return;
  Impl& impl = *fImpl;
  auto done = std::make_shared<std::promise<asio::error_code>>();
  auto result = done->get_future();
  asio::post(impl.fIo, [&impl, aFaults, done] {
    asio::error_code ec;
    impl.Apply(aFaults, ec);
    done->set_value(ec);
  });
  if (result.wait_for(kFaultChangeLimit) != std::future_status::ready)
    throw std::runtime_error("the display's connections did not take the new faults within " +
                             std::to_string(kFaultChangeLimit.count()) + " s");
  if (const auto ec = result.get())
    throw std::runtime_error("cannot bind port " + std::to_string(impl.fEndpoint.port()) +
                             " again: " + ec.message());
}

void TcpFrontend::Stop() {
  if (!fImpl) return;
  fImpl->fIo.stop();
  if (fImpl->fThread.joinable()) fImpl->fThread.join();
  // Destroying the context closes the listening socket and every connection.
  fImpl.reset();
}

}  // namespace korvane::simulator
