#pragma once

// A private OpenSSH server on 127.0.0.1 for one test: its own host key, client key, configuration and
// log in a temporary directory, so nothing of the machine's own sshd or ~/.ssh takes part.

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "TemporaryDirectory.h"
#include "client/ChildProcess.h"

namespace snh::e2e {

inline constexpr const char* kTestUser = "snh-test";
inline constexpr const char* kSshClient = "/usr/bin/ssh";

// How the client is to treat the server's host key and its own authentication.
struct ClientOptions {
  std::string strictHostKeyChecking = "accept-new";
  bool batchMode = true;  // no questions on the terminal
  bool keyLogin = true;   // false: offer only password authentication
};

class OpenSshServer {
 public:
  // Why no server can run here (not root, OpenSSH or the test user missing), or nothing.
  static std::optional<std::string> WhyUnavailable();

  // Starts sshd and returns once it accepts connections; throws std::runtime_error with its log if not.
  OpenSshServer();
  OpenSshServer(const OpenSshServer&) = delete;
  OpenSshServer& operator=(const OpenSshServer&) = delete;
  ~OpenSshServer();

  int port() const { return port_; }
  std::filesystem::path knownHostsFile() const { return directory_.path() / "known_hosts"; }
  // What ssh has stored in the known hosts file so far.
  std::string KnownHosts() const;
  // What sshd wrote to its log so far, for failure messages.
  std::string Log() const;

  // Arguments for ssh that reach this server as the test user: `sshFlags` (such as -tt or -T), the
  // connection options, the destination, then the remote command if any.
  std::vector<std::string> ClientArguments(const ClientOptions& options,
                                           const std::vector<std::string>& sshFlags,
                                           const std::string& remoteCommand = {}) const;

 private:
  std::filesystem::path File(const char* name) const { return directory_.path() / name; }
  void WriteConfiguration() const;
  void WaitUntilAccepting();
  void Stop();

  TemporaryDirectory directory_;
  int port_ = 0;
  std::unique_ptr<client::ChildProcess> sshd_;
};

}  // namespace snh::e2e
