// Builds the command line that opens a page with the browser registered for HTML documents.
#pragma once

#include <string>
#include <string_view>

namespace vantorel::lang {

// `registered` is the browser's command line as its desktop entry gives it. The first file or
// address placeholder (%u %U %f %F), taken with the quotes around it when it has them, and
// everything after it are dropped; other field codes are removed and "%%" becomes "%". Then
// come a space and the argument, quoted for the shell so that it stays one argument.
std::string BuildBrowserCommand(std::string_view registered, std::string_view argument);

// The text in single quotes, each single quote written as '\''.
std::string QuoteForShell(std::string_view text);

}  // namespace vantorel::lang
