// The pseudo-terminal hub: a Linux program through which the serial tests
// of the Windows build, running under Wine, play the device. Wine opens
// \\.\COMn through the link $WINEPREFIX/dosdevices/comN; the hub makes a
// pseudo-terminal pair for each test that asks, links its device side as a
// COM port, and keeps the other side, which a Windows program cannot open.
//
//   pty_hub start DIR   starts the hub in the background and returns once it
//                       is ready (at most 10 s): it listens on an ephemeral
//                       port of 127.0.0.1, written to DIR/port; its log is
//                       DIR/hub.log, its process id DIR/pid
//   pty_hub stop DIR    ends it (at most 5 s) and removes its links
//
// Each connection is one device: the hub makes a pair, links it as the
// first free port of COM100 to COM131 and answers "COM<n>". Then, a line
// each, with the bytes in hexadecimal:
//   SEND <hex>   the device sends the bytes          -> OK
//   RECV <ms>    what arrived within ms (then until
//                50 ms pass without a byte)          -> DATA <hex>
//   LINE         the port's line settings            -> LINE baud bits parity two-stop-bits
//                                                       no-editing no-output-processing
//                                                       no-input-translation (0/1 each)
//   HANGUP       the device goes: both sides closed  -> OK
// A failure answers "ERROR <text>". When the connection ends, the pair is
// closed and the link removed. The hub ends itself after 10 minutes without
// any connection, so that a test run that never stops it leaves nothing.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "transport_serial/pty_line.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kFirstPort = 100;
constexpr int kPorts = 32;
constexpr int kIdleSeconds = 600;

std::string gDosDevices;
std::mutex gPortsLock;
std::set<int> gPorts;  // the ports linked now
std::atomic<int> gConnections{0};
volatile sig_atomic_t gStop = 0;

std::string LinkOf(int aPort) { return gDosDevices + "/com" + std::to_string(aPort); }

int TakePort(const std::string& aTarget) {
  std::lock_guard<std::mutex> lock(gPortsLock);
  for (int n = kFirstPort; n < kFirstPort + kPorts; ++n) {
    if (gPorts.count(n) != 0) continue;
    const std::string link = LinkOf(n);
    unlink(link.c_str());  // one a stopped hub left
    if (symlink(aTarget.c_str(), link.c_str()) != 0) return -1;
    gPorts.insert(n);
    return n;
  }
  return -1;
}

void GivePortBack(int aPort) {
  std::lock_guard<std::mutex> lock(gPortsLock);
  unlink(LinkOf(aPort).c_str());
  gPorts.erase(aPort);
}

std::string Hex(const std::string& aBytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (unsigned char c : aBytes) hex += {kDigits[c >> 4], kDigits[c & 15]};
  return hex;
}

bool Unhex(const std::string& aHex, std::string& aBytes) {
  if (aHex.size() % 2 != 0) return false;
  for (size_t i = 0; i < aHex.size(); i += 2) {
    char* end = nullptr;
    const std::string pair = aHex.substr(i, 2);
    const long value = std::strtol(pair.c_str(), &end, 16);
    if (*end != '\0') return false;
    aBytes += static_cast<char>(value);
  }
  return true;
}

bool SendAll(int aFd, const std::string& aBytes, int aStallMs) {
  size_t done = 0;
  while (done < aBytes.size()) {
    pollfd p{aFd, POLLOUT, 0};
    if (poll(&p, 1, aStallMs) <= 0) return false;
    const ssize_t n = send(aFd, aBytes.data() + done, aBytes.size() - done, MSG_NOSIGNAL);
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

bool WriteAll(int aFd, const std::string& aBytes) {
  size_t done = 0;
  while (done < aBytes.size()) {
    pollfd p{aFd, POLLOUT, 0};
    if (poll(&p, 1, 5000) <= 0) return false;
    const ssize_t n = write(aFd, aBytes.data() + done, aBytes.size() - done);
    if (n < 0 && errno == EAGAIN) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// What arrived within aWaitMs, then until 50 ms pass without a byte (at
// most 10 s in all).
std::string Receive(int aMaster, int aWaitMs) {
  std::string bytes;
  const Clock::time_point last = Clock::now() + std::chrono::seconds(10);
  pollfd p{aMaster, POLLIN, 0};
  while (Clock::now() < last && poll(&p, 1, bytes.empty() ? aWaitMs : 50) > 0) {
    char buffer[256];
    const ssize_t n = read(aMaster, buffer, sizeof buffer);
    if (n <= 0) break;
    bytes.append(buffer, static_cast<size_t>(n));
  }
  return bytes;
}

// One device for one connection.
class Device {
 public:
  explicit Device(int aSocket) : fSocket(aSocket) {}
  ~Device() {
    HangUp();
    if (fPort >= 0) GivePortBack(fPort);
    close(fSocket);
  }

  void Serve() {
    char name[256] = {0};
    if (openpty(&fMaster, &fSlave, name, nullptr, nullptr) != 0) {
      Answer(std::string("ERROR openpty: ") + std::strerror(errno));
      return;
    }
    fcntl(fMaster, F_SETFL, fcntl(fMaster, F_GETFL) | O_NONBLOCK);
    fPort = TakePort(name);
    if (fPort < 0) {
      Answer("ERROR no free port to link in " + gDosDevices);
      return;
    }
    std::printf("COM%d -> %s\n", fPort, name);
    std::fflush(stdout);
    if (!Answer("COM" + std::to_string(fPort))) return;
    std::string line;
    while (ReadLine(line) && Answer(Handle(line))) {
    }
  }

 private:
  std::string Handle(const std::string& aLine) {
    const size_t space = aLine.find(' ');
    const std::string command = aLine.substr(0, space);
    const std::string argument = space == std::string::npos ? "" : aLine.substr(space + 1);
    if (command == "HANGUP") {
      HangUp();
      return "OK";
    }
    if (fMaster < 0) return "ERROR the device has hung up";
    if (command == "SEND") {
      std::string bytes;
      if (!Unhex(argument, bytes)) return "ERROR bad hexadecimal";
      return WriteAll(fMaster, bytes) ? "OK" : std::string("ERROR write: ") + std::strerror(errno);
    }
    if (command == "RECV") return "DATA " + Hex(Receive(fMaster, std::atoi(argument.c_str())));
    if (command == "LINE") {
      termios tio{};
      if (tcgetattr(fSlave, &tio) != 0) return std::string("ERROR tcgetattr: ") + std::strerror(errno);
      const korvane::testing::PtyLine l = korvane::testing::LineOf(tio);
      char answer[128];
      std::snprintf(answer, sizeof answer, "LINE %u %d %d %d %d %d %d", l.baud, l.dataBits, l.parity,
                    l.twoStopBits, l.noLineEditing, l.noOutputProcessing, l.noInputTranslation);
      return answer;
    }
    return "ERROR unknown command " + command;
  }

  void HangUp() {
    if (fMaster >= 0) close(fMaster);
    if (fSlave >= 0) close(fSlave);
    fMaster = fSlave = -1;
  }

  // The next line of the connection; false once it ended.
  bool ReadLine(std::string& aLine) {
    while (true) {
      const size_t end = fBuffer.find('\n');
      if (end != std::string::npos) {
        aLine = fBuffer.substr(0, end);
        if (!aLine.empty() && aLine.back() == '\r') aLine.pop_back();
        fBuffer.erase(0, end + 1);
        return true;
      }
      char buffer[4096];
      const ssize_t n = recv(fSocket, buffer, sizeof buffer, 0);
      if (n <= 0) return false;
      fBuffer.append(buffer, static_cast<size_t>(n));
    }
  }

  bool Answer(const std::string& aLine) { return SendAll(fSocket, aLine + "\n", 10000); }

  int fSocket;
  int fMaster = -1;
  int fSlave = -1;
  int fPort = -1;
  std::string fBuffer;
};

void OnTerm(int) { gStop = 1; }

// The hub itself: serves until told to stop or idle for too long.
int Serve(int aListener, const std::string& aDir) {
  signal(SIGTERM, OnTerm);
  signal(SIGINT, OnTerm);
  signal(SIGPIPE, SIG_IGN);
  Clock::time_point lastActive = Clock::now();
  while (!gStop) {
    pollfd p{aListener, POLLIN, 0};
    if (poll(&p, 1, 200) > 0) {
      const int client = accept4(aListener, nullptr, nullptr, SOCK_CLOEXEC);
      if (client >= 0) {
        ++gConnections;
        std::thread([client] {
          {
            Device device(client);
            device.Serve();
          }
          --gConnections;
        }).detach();
      }
    }
    if (gConnections > 0) lastActive = Clock::now();
    if (Clock::now() - lastActive > std::chrono::seconds(kIdleSeconds)) {
      std::printf("idle for %d s: ending\n", kIdleSeconds);
      break;
    }
  }
  {
    std::lock_guard<std::mutex> lock(gPortsLock);
    for (int n : gPorts) unlink(LinkOf(n).c_str());
    gPorts.clear();
  }
  unlink((aDir + "/port").c_str());
  std::printf("stopped\n");
  std::fflush(stdout);
  _exit(0);  // the connections' threads go with the process
}

int Start(const std::string& aDir) {
  const char* prefix = std::getenv("WINEPREFIX");
  const char* home = std::getenv("HOME");
  gDosDevices = prefix && *prefix ? std::string(prefix) + "/dosdevices"
                                  : std::string(home ? home : "") + "/.wine/dosdevices";
  if (access(gDosDevices.c_str(), W_OK) != 0) {
    std::fprintf(stderr, "pty_hub: %s is not a folder the hub can write to\n", gDosDevices.c_str());
    return 1;
  }
  mkdir(aDir.c_str(), 0755);
  const std::string portFile = aDir + "/port";
  unlink(portFile.c_str());
  const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  if (listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      listen(listener, 16) != 0 || getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    std::fprintf(stderr, "pty_hub: cannot listen on loopback: %s\n", std::strerror(errno));
    return 1;
  }
  const pid_t child = fork();
  if (child < 0) {
    std::fprintf(stderr, "pty_hub: fork: %s\n", std::strerror(errno));
    return 1;
  }
  if (child == 0) {
    // Apart from the caller (CTest waits for the output of a test to end).
    setsid();
    const int null = open("/dev/null", O_RDONLY);
    const int log = open((aDir + "/hub.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(null, 0);
    dup2(log, 1);
    dup2(log, 2);
    close(null);
    close(log);
    std::ofstream(aDir + "/pid") << getpid() << "\n";
    std::ofstream(portFile + ".new") << ntohs(addr.sin_port) << "\n";
    rename((portFile + ".new").c_str(), portFile.c_str());
    std::printf("listening on 127.0.0.1:%d, linking in %s\n", ntohs(addr.sin_port), gDosDevices.c_str());
    std::fflush(stdout);
    return Serve(listener, aDir);
  }
  close(listener);
  for (int i = 0; i < 100; ++i) {
    if (access(portFile.c_str(), R_OK) == 0) {
      std::printf("pty_hub: listening on 127.0.0.1:%d (process %d), linking COM%d to COM%d in %s\n",
                  ntohs(addr.sin_port), static_cast<int>(child), kFirstPort, kFirstPort + kPorts - 1,
                  gDosDevices.c_str());
      return 0;
    }
    if (waitpid(child, nullptr, WNOHANG) == child) break;
    usleep(100 * 1000);
  }
  std::fprintf(stderr, "pty_hub: the hub did not start (see %s/hub.log)\n", aDir.c_str());
  kill(child, SIGKILL);
  return 1;
}

int Stop(const std::string& aDir) {
  int pid = 0;
  std::ifstream(aDir + "/pid") >> pid;
  if (pid <= 0) return 0;
  if (kill(pid, SIGTERM) == 0) {
    for (int i = 0; i < 50 && kill(pid, 0) == 0; ++i) usleep(100 * 1000);
    if (kill(pid, 0) == 0) {
      std::fprintf(stderr, "pty_hub: process %d did not end in 5 s: killed\n", pid);
      kill(pid, SIGKILL);
    }
  }
  unlink((aDir + "/pid").c_str());
  unlink((aDir + "/port").c_str());
  std::printf("pty_hub: stopped\n");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s start|stop DIR\n", argv[0]);
    return 2;
  }
  const std::string mode = argv[1];
  const std::string dir = argv[2];
  if (mode == "start") return Start(dir);
  if (mode == "stop") return Stop(dir);
  std::fprintf(stderr, "usage: %s start|stop DIR\n", argv[0]);
  return 2;
}
