// Interactive ssh sessions in mode "pseudo_console": ssh runs on the host's pty, so everything it and the
// remote shell print comes back as pseudo console text, and "stdin" is what the user types.

#include <unistd.h>

#include <string>

#include "OpenSshTest.h"
#include "TemporaryPassword.h"

namespace snh::e2e {
namespace {

using conformance::IsExitNotice;
using conformance::kPseudoConsole;
using conformance::ReceivedMessage;
using conformance::StdinRequest;

class OpenSsh : public OpenSshTest {
 protected:
  static void ExitShell(HostSession& host) {
    host.Send(StdinRequest("exit\r"));
    host.WaitFor(IsExitNotice(), kExitTimeout, "the exit notice after the shell's exit");
  }

  // In this mode the pty is all of ssh's standard streams and no screen is polled.
  static void ExpectOnlyPseudoConsoleOutput(const HostSession& host) {
    for (const ReceivedMessage& message : host.AllReceived()) {
      const std::string type = message.Type();
      EXPECT_TRUE(type == "pseudo_console_output" || IsExitNotice()(message.body)) << message.body.dump();
      if (type != "pseudo_console_output") continue;
      const std::string processed = message.body.at("pseudoConsoleOutput").at("processedContent");
      EXPECT_EQ(processed.find('\x1b'), std::string::npos)
          << "escape sequence left in " << message.body.dump();
    }
  }
};

TEST_F(OpenSsh, PseudoConsoleKeyLoginRunsCommandsAndSetsTheTitle) {
  HostSession& host = StartHost();
  host.Send(Connect({}, {"-tt"}, "", kPseudoConsole));
  WaitForPseudoConsoleText(host, kShellPrompt, kLoginTimeout);

  // Only the remote shell's arithmetic can make "42": the typed line, echoed back, does not contain it.
  host.Send(StdinRequest("echo $((6*7))\r"));
  WaitForPseudoConsoleText(host, "\r\n42\r\n", kReplyTimeout);

  host.Send(StdinRequest("printf '\\033]0;%s\\007' e2e-title\r"));
  const ReceivedMessage titled = host.WaitFor(
      [](const nlohmann::json& message) {
        return message.at("type") == "pseudo_console_output" &&
               message.at("pseudoConsoleOutput").contains("windowTitle");
      },
      kReplyTimeout, "a message with the window title");
  EXPECT_EQ(titled.body.at("pseudoConsoleOutput").at("windowTitle").get<std::string>(), "e2e-title");

  ExitShell(host);
  ExpectOnlyPseudoConsoleOutput(host);
  EXPECT_NE(Server().Log().find("Accepted publickey for snh-test"), std::string::npos) << Server().Log();
}

TEST_F(OpenSsh, PseudoConsolePasswordTypedThroughStdinLogsIn) {
  for (const char* program : {"/usr/sbin/chpasswd", "/usr/sbin/usermod"}) {
    if (::access(program, X_OK) != 0) GTEST_SKIP() << program << " is missing";
  }
  const TemporaryPassword password(kTestUser);
  HostSession& host = StartHost();
  host.Send(Connect({.batchMode = false, .keyLogin = false}, {"-tt"}, "", kPseudoConsole));
  WaitForPseudoConsoleText(host, "snh-test@127.0.0.1's password:", kLoginTimeout);

  // Typed in two pieces, as keystrokes arrive.
  const std::string& secret = password.text();
  host.Send(StdinRequest(secret.substr(0, secret.size() / 2)));
  host.Send(StdinRequest(secret.substr(secret.size() / 2) + "\r"));
  WaitForPseudoConsoleText(host, kShellPrompt, kLoginTimeout);

  host.Send(StdinRequest("echo pw-$((3+4))\r"));
  WaitForPseudoConsoleText(host, "\r\npw-7\r\n", kReplyTimeout);
  ExitShell(host);

  ExpectOnlyPseudoConsoleOutput(host);
  EXPECT_NE(Server().Log().find("Accepted password for snh-test"), std::string::npos) << Server().Log();
  // ssh reads the password with the terminal's echo off.
  for (const ReceivedMessage& message : host.AllReceived()) {
    EXPECT_EQ(message.body.dump().find(secret), std::string::npos) << "the password was echoed";
  }
}

TEST_F(OpenSsh, PseudoConsoleHostKeyQuestionIsAnsweredThroughStdin) {
  HostSession& host = StartHost();
  host.Send(Connect({.strictHostKeyChecking = "ask", .batchMode = false}, {"-tt"}, "", kPseudoConsole));
  WaitForPseudoConsoleText(host, "Are you sure you want to continue connecting", kLoginTimeout);
  EXPECT_EQ(Server().KnownHosts(), "") << "the key was stored before the answer";

  host.Send(StdinRequest("yes\r"));
  WaitForPseudoConsoleText(host, kShellPrompt, kLoginTimeout);
  EXPECT_NE(Server().KnownHosts().find("[127.0.0.1]:" + std::to_string(Server().port()) + " ssh-ed25519 "),
            std::string::npos)
      << Server().KnownHosts();
  ExitShell(host);
}

}  // namespace
}  // namespace snh::e2e
