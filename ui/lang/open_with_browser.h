// Opens a page or web address with the user's default browser.
#pragma once

#include <string_view>

namespace vantorel::lang {

inline constexpr int kShowNormal = 1;

// Looks up the default application for text/html and starts it on the argument (a path or a web
// address, which arrives as one argument) without waiting. The argument takes the place of the
// entry's first file or address field code (%u %U %f %F); what came after that code is left
// out, and without one the argument comes last. Returns 1 when the browser was started, 0 when
// there is no such application, when it runs in a terminal (its desktop entry says
// Terminal=true: started from a window it would have none), or when the command cannot be
// started. The show command has no counterpart here and is accepted for the callers' sake.
int OpenWithBrowser(std::string_view argument, int showCommand = kShowNormal);

}  // namespace vantorel::lang
