#include "ui/lang/browser_command.h"

#include <gtest/gtest.h>

namespace vantorel::lang {
namespace {

struct CommandCase {
  const char* name;
  const char* registered;
  const char* argument;
  const char* expected;
};

void PrintTo(const CommandCase& c, std::ostream* os) {
  *os << c.name;
}

class BrowserCommand : public testing::TestWithParam<CommandCase> {};

TEST_P(BrowserCommand, CutsAtThePlaceholderAndAppendsTheQuotedArgument) {
  EXPECT_EQ(BuildBrowserCommand(GetParam().registered, GetParam().argument), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Help, BrowserCommand,
    testing::Values(
        CommandCase{"QuotedPlaceholderAndLaterOptionsDropped", "/opt/web/browser -new \"%u\" -x",
                    "/srv/help.htm", "/opt/web/browser -new  '/srv/help.htm'"},
        CommandCase{"PlainPlaceholder", "browser %U", "/srv/help.htm", "browser  '/srv/help.htm'"},
        CommandCase{"SingleQuotedPlaceholder", "browser '%f' --tab", "x", "browser  'x'"},
        CommandCase{"FirstOfSeveralPlaceholders", "browser %F %u", "x", "browser  'x'"},
        CommandCase{"NoPlaceholderAppendsAtTheEnd", "browser --private", "x",
                    "browser --private 'x'"},
        CommandCase{"OtherFieldCodesRemoved", "browser %i --class=%c %k %u", "x",
                    "browser  --class=   'x'"},
        CommandCase{"PercentEscapeKept", "browser --zoom=100%% %u", "x",
                    "browser --zoom=100%  'x'"},
        CommandCase{"PathWithSpacesIsOneWord", "browser %u", "/home/a user/help dir/help.htm",
                    "browser  '/home/a user/help dir/help.htm'"},
        CommandCase{"QuotesInsideTheArgument", "browser %u", "it's \"here\"",
                    "browser  'it'\\''s \"here\"'"},
        CommandCase{"AddressKeepsItsCharacters", "browser %u", "http://host.invalid/?a=1&b=$x",
                    "browser  'http://host.invalid/?a=1&b=$x'"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vantorel::lang
