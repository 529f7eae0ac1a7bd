// The opt-in log that SSH_NATIVE_HOST_LOG names: what a user needs to find out why a host ended, never
// the text typed into the client, and never a cause of harm to the protocol.

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "HostTest.h"

namespace snh::conformance {
namespace {

class DiagnosticLog : public HostTest {
 protected:
  // Named in the environment that the host inherits, as a browser passes its own.
  HostSession& StartLoggedHost(const std::filesystem::path& file) {
    SetInheritedEnvironment("SSH_NATIVE_HOST_LOG", file.string());
    HostSession& host = StartHost();
    SetInheritedEnvironment("SSH_NATIVE_HOST_LOG", "");
    return host;
  }
};

TEST_F(DiagnosticLog, RecordsRequestsConnectErrorsAndExitButNoInputText) {
  const auto file = std::filesystem::temp_directory_path() / "snh-conformance-diagnostic.log";
  std::filesystem::remove(file);
  HostSession& host = StartLoggedHost(file);
  host.Send(ConnectRequest(Client(), {"read:9", "sleep:100"}));
  host.Send(StdinRequest("hunter2pw"));
  host.WaitFor(IsExitNotice(), kClientTimeout, "the exit notice");
  host.Send({{"type", "readConsole"}});
  host.WaitFor(IsError("Not implemented yet"), kReplyTimeout, "the readConsole reply");
  host.Close();

  std::ostringstream text;
  text << std::ifstream(file, std::ios::binary).rdbuf();
  const std::string log = text.str();
  std::filesystem::remove(file);
  for (const std::string& wanted : std::vector<std::string>{
           "start: ssh-native-host 2.0.0.0 on ", "request: \"connect\"",
           "connect: program " + nlohmann::json(Client()).dump() + ", mode (none), argument count 2",
           "request: \"stdin\"", "client exited", "error sent: \"SSH Process exited\"",
           "error sent: \"Not implemented yet\"", "end: host exits"}) {
    EXPECT_NE(log.find(wanted), std::string::npos) << wanted << " is not in:\n" << log;
  }
  EXPECT_EQ(log.find("hunter2"), std::string::npos) << log;
  EXPECT_EQ(log.find("read:9"), std::string::npos) << log;
}

TEST_F(DiagnosticLog, LogThatCannotBeOpenedLeavesTheProtocolAlone) {
  HostSession& host = StartLoggedHost(std::filesystem::temp_directory_path() / "snh-no-such-folder" / "log");
  ExpectVersionNext(host);
  host.Send(ConnectRequest(Client(), {"out:still relayed"}));
  host.WaitFor(IsExitNotice(), kClientTimeout, "the exit notice");
  EXPECT_EQ(JoinedOutput(host, "stdout"), "still relayed");
}

}  // namespace
}  // namespace snh::conformance
