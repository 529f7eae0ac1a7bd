#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "client/TerminalModes.h"

namespace snh::client {
namespace {

TEST(TerminalModesTest, AlternateScreenIsFollowedAcrossEveryCut) {
  const std::vector<std::pair<std::string, AlternateScreen>> rows = {
      {"text \x1b[1m\x1b[?1049h\x1b[H\x1b[2J", AlternateScreen::k1049},
      {"\x1b[?1049h vim \x1b[?1049l", AlternateScreen::kOff},
      {"\x1b[?1000;1047;2004h", AlternateScreen::k1047},
      {"\x1b[1049h\x1b[?10490h", AlternateScreen::kOff},  // not a private mode; another number
      {"\x1b[?1049\x18h", AlternateScreen::kOff},         // cancelled
      {"\x1b[?1049\rh", AlternateScreen::k1049},          // a control inside acts without ending it
      {"\x1b[?" + std::string(100, '0') + "1049h", AlternateScreen::kOff},  // overlong: ignored
  };
  for (const auto& [output, screen] : rows) {
    for (std::size_t cut = 0; cut <= output.size(); ++cut) {
      SCOPED_TRACE(::testing::PrintToString(output) + " cut at " + std::to_string(cut));
      AlternateScreenTracker tracker;
      tracker.Feed(output.substr(0, cut));
      tracker.Feed(output.substr(cut));
      EXPECT_EQ(tracker.Screen(), screen);
    }
  }
}

}  // namespace
}  // namespace snh::client
