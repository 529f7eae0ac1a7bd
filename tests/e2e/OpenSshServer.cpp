#include "OpenSshServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>

#include "RunProgram.h"
#include "platform/UniqueHandle.h"

namespace snh::e2e {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;

constexpr const char* kSshd = "/usr/sbin/sshd";
constexpr const char* kSshKeygen = "/usr/bin/ssh-keygen";
constexpr milliseconds kStartTimeout{10000};
// How long to watch sshd for an early exit between two connection attempts.
constexpr milliseconds kRetryPause{20};

sockaddr_in Loopback(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

UniqueHandle TcpSocket() {
  UniqueHandle socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!socket) throw std::system_error(errno, std::generic_category(), "socket");
  return socket;
}

// A port that nothing listens on right now: the kernel picks it for a socket bound to port 0.
int FreeLoopbackPort() {
  const UniqueHandle socket = TcpSocket();
  sockaddr_in address = Loopback(0);
  if (::bind(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    throw std::system_error(errno, std::generic_category(), "bind 127.0.0.1:0");
  }
  socklen_t length = sizeof address;
  if (::getsockname(socket.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    throw std::system_error(errno, std::generic_category(), "getsockname");
  }
  return ntohs(address.sin_port);
}

bool AcceptsConnections(int port) {
  const UniqueHandle socket = TcpSocket();
  const sockaddr_in address = Loopback(port);
  return ::connect(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

void WriteFile(const fs::path& path, const std::string& text) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << text;
  if (!file.flush()) throw std::runtime_error("cannot write " + path.string());
}

void GenerateKey(const fs::path& path, const std::string& comment) {
  RunProgramOrThrow(kSshKeygen, {"-q", "-t", "ed25519", "-N", "", "-C", comment, "-f", path.string()});
}

std::string DrainStandardError(client::ChildProcess& process) {
  std::string text;
  std::array<char, 4096> buffer{};
  while (const std::size_t count = process.ReadError(buffer)) text.append(buffer.data(), count);
  return text;
}

}  // namespace

std::optional<std::string> OpenSshServer::WhyUnavailable() {
  if (::geteuid() != 0) return "sshd must run as root to log in a user; run the tests as root";
  for (const char* program : {kSshd, kSshClient, kSshKeygen}) {
    if (::access(program, X_OK) != 0) {
      return std::string(program) + " is missing: run scripts/setup.sh (openssh-server, openssh-client)";
    }
  }
  if (::getpwnam(kTestUser) == nullptr) {
    return std::string("the user ") + kTestUser + " does not exist: run scripts/setup-test-user.sh as root";
  }
  return std::nullopt;
}

OpenSshServer::OpenSshServer() : directory_("snh-e2e-sshd-") {
  GenerateKey(File("host_ed25519"), "snh-e2e-host");
  GenerateKey(File("client_ed25519"), "snh-e2e-client");
  fs::copy_file(File("client_ed25519.pub"), File("authorized_keys"));
  WriteFile(knownHostsFile(), "");
  // sshd reads authorized_keys as the test user, who must be able to reach it.
  fs::permissions(directory_.path(), fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
  fs::permissions(File("authorized_keys"), fs::perms::owner_read | fs::perms::owner_write |
                                               fs::perms::group_read | fs::perms::others_read);
  // The privilege-separation directory, which sshd refuses to start without.
  fs::create_directories("/run/sshd");

  port_ = FreeLoopbackPort();
  WriteConfiguration();
  sshd_ = client::StartChildProcess(
      kSshd, {"-D", "-e", "-E", File("sshd.log").string(), "-f", File("sshd_config").string()});
  sshd_->CloseInput();
  try {
    WaitUntilAccepting();
  } catch (...) {
    Stop();
    throw;
  }
}

OpenSshServer::~OpenSshServer() { Stop(); }

void OpenSshServer::WriteConfiguration() const {
  const std::vector<std::string> lines = {
      "ListenAddress 127.0.0.1",
      "Port " + std::to_string(port_),
      "HostKey " + File("host_ed25519").string(),
      "AuthorizedKeysFile " + File("authorized_keys").string(),
      "PidFile " + File("sshd.pid").string(),
      "StrictModes no",
      "UsePAM no",
      "PubkeyAuthentication yes",
      "PasswordAuthentication yes",
      "KbdInteractiveAuthentication no",
      "PermitRootLogin no",
      "AllowUsers " + std::string(kTestUser),
      // Nothing between the login and the shell's prompt.
      "PrintMotd no",
      "PrintLastLog no",
      "LogLevel VERBOSE",
  };
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  WriteFile(File("sshd_config"), text);
}

void OpenSshServer::WaitUntilAccepting() {
  const auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
  while (!AcceptsConnections(port_)) {
    if (const auto exitCode = sshd_->WaitForExit(kRetryPause)) {
      throw std::runtime_error("sshd exited with " + std::to_string(*exitCode) + " while starting.\n" +
                               DrainStandardError(*sshd_) + "\nLog:\n" + Log());
    }
    if (std::chrono::steady_clock::now() > deadline) {
      throw std::runtime_error("sshd did not accept connections on 127.0.0.1:" + std::to_string(port_) +
                               " within " + std::to_string(kStartTimeout.count()) + " ms.\nLog:\n" + Log());
    }
  }
}

void OpenSshServer::Stop() {
  if (!sshd_) return;
  sshd_->Kill();  // and reaps it
  sshd_.reset();
}

std::string OpenSshServer::Log() const { return ReadFile(File("sshd.log")); }

std::string OpenSshServer::KnownHosts() const { return ReadFile(knownHostsFile()); }

std::vector<std::string> OpenSshServer::ClientArguments(const ClientOptions& options,
                                                        const std::vector<std::string>& sshFlags,
                                                        const std::string& remoteCommand) const {
  std::vector<std::string> arguments = sshFlags;
  const std::vector<std::string> connection = {
      // Neither the machine's nor root's client configuration and known hosts take part.
      "-F", "/dev/null",
      "-p", std::to_string(port_),
      "-o", "UserKnownHostsFile=" + knownHostsFile().string(),
      "-o", "GlobalKnownHostsFile=/dev/null",
      "-o", "StrictHostKeyChecking=" + options.strictHostKeyChecking,
      "-o", std::string("BatchMode=") + (options.batchMode ? "yes" : "no"),
      "-o", "IdentitiesOnly=yes",
  };
  arguments.insert(arguments.end(), connection.begin(), connection.end());
  if (options.keyLogin) {
    arguments.insert(arguments.end(), {"-i", File("client_ed25519").string()});
  } else {
    arguments.insert(arguments.end(),
                     {"-o", "PubkeyAuthentication=no", "-o", "PreferredAuthentications=password"});
  }
  arguments.push_back(std::string(kTestUser) + "@127.0.0.1");
  if (!remoteCommand.empty()) arguments.push_back(remoteCommand);
  return arguments;
}

}  // namespace snh::e2e
