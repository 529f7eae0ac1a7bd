#include <gtest/gtest.h>

#include <cstdint>

#include "base/SystemError.h"

namespace snh {
namespace {

struct SystemErrorCase {
  const char* label;
  std::uint32_t code;
  const char* systemText;
  const char* expected;
};

class SystemErrorFormat : public ::testing::TestWithParam<SystemErrorCase> {};

TEST_P(SystemErrorFormat, WritesLabelCodeAndTextWhole) {
  const SystemErrorCase& c = GetParam();
  EXPECT_EQ(FormatSystemError(c.label, c.code, c.systemText), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, SystemErrorFormat,
    ::testing::Values(
        SystemErrorCase{"CreateProcess", 2, "The system cannot find the file specified.\r\n",
                        "CreateProcess failed. 0x2 The system cannot find the file specified.\r\n"},
        SystemErrorCase{"QueryFullProcessImageName", 122,
                        "The data area passed to a system call is too small.\r\n",
                        "QueryFullProcessImageName failed. 0x7a The data area passed to a system call is too "
                        "small.\r\n"},
        SystemErrorCase{"CreatePipe child stderr", 0, "The operation completed successfully.\r\n",
                        "CreatePipe child stderr failed. 0x0 The operation completed successfully.\r\n"},
        SystemErrorCase{"ReadFile", 0xFFFFFFFFu, "", "ReadFile failed. 0xffffffff "},
        SystemErrorCase{"WriteFile", 0xC0000005u, "  spaced \r\n\r\n",
                        "WriteFile failed. 0xc0000005   spaced \r\n\r\n"}));

TEST(SystemErrorText, KeepsBracesAndNonAsciiTextUnchanged) {
  EXPECT_EQ(FormatSystemError("GetConsoleMode", 6, "Descripteur {0} non valide, accès refusé.\r\n"),
            "GetConsoleMode failed. 0x6 Descripteur {0} non valide, accès refusé.\r\n");
}

TEST(SystemErrorHresult, WritesTheHresultAsASignedNumber) {
  EXPECT_EQ(FormatSystemErrorHresult("CreatePseudoConsole", static_cast<std::int32_t>(0x80070057u),
                                     "The parameter is incorrect.\r\n"),
            "CreatePseudoConsole failed. -0x7ff8ffa9 The parameter is incorrect.\r\n");
  EXPECT_EQ(FormatSystemErrorHresult("CreatePseudoConsole", static_cast<std::int32_t>(0x80000000u), ""),
            "CreatePseudoConsole failed. -0x80000000 ");
  EXPECT_EQ(FormatSystemErrorHresult("CreatePseudoConsole", 0x1, "x"), "CreatePseudoConsole failed. 0x1 x");
}

}  // namespace
}  // namespace snh
