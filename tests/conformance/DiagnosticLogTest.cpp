// The opt-in log that SSH_NATIVE_HOST_LOG names: what a user needs to find out why a host ended, never
// the text typed into the client, and never a cause of harm to the protocol.

#include <sys/stat.h>

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

#ifndef _WIN32
  EXPECT_EQ(std::filesystem::status(file).permissions(), std::filesystem::perms{0600});  // whatever the umask
#endif
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

TEST_F(DiagnosticLog, LogThatCannotBeOpenedCostsOneLineOnStandardErrorAndNothingElse) {
  const auto folder = std::filesystem::temp_directory_path() / "snh-conformance-logs";
  std::filesystem::remove_all(folder);
  std::filesystem::create_directory(folder);
  std::vector<std::filesystem::path> files{folder / "no-such-folder" / "log", folder};
#ifndef _WIN32
  std::filesystem::create_symlink(folder / "target", files.emplace_back(folder / "link"));
  ASSERT_EQ(mkfifo(files.emplace_back(folder / "fifo").c_str(), 0600), 0);  // no reader: open would wait
#endif
  for (const std::filesystem::path& file : files) {
    HostSession& host = StartLoggedHost(file);
    ExpectVersionNext(host);
    host.Send(ConnectRequest(Client(), {"env:SSH_NATIVE_HOST_LOG", "sleep:300"}, kPseudoConsole));
    WaitForProcessedContaining(host, "env:SSH_NATIVE_HOST_LOG unset", kClientTimeout);  // the host's alone
    host.Close();
    EXPECT_EQ(host.StandardError().find('\n'), host.StandardError().size() - 1)
        << file << host.StandardError();
  }
  EXPECT_FALSE(std::filesystem::exists(folder / "target"));
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace snh::conformance
