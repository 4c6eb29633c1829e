#include "ui/lang/open_with_browser.h"

#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

#include <string>

#include "ui/lang/browser_command.h"

namespace vantorel::lang {

int OpenWithBrowser(std::string_view argument, [[maybe_unused]] int showCommand) {
  g_autoptr(GAppInfo) browser = g_app_info_get_default_for_type("text/html", FALSE);
  if (browser == nullptr) return 0;
  // A handler that runs in a terminal would start here without one, and show nothing.
  if (G_IS_DESKTOP_APP_INFO(browser) &&
      g_desktop_app_info_get_boolean(G_DESKTOP_APP_INFO(browser), "Terminal")) {
    return 0;
  }
  const char* registered = g_app_info_get_commandline(browser);
  if (registered == nullptr) return 0;
  const std::string command = BuildBrowserCommand(registered, argument);
  g_autoptr(GError) error = nullptr;
  return g_spawn_command_line_async(command.c_str(), &error) ? 1 : 0;
}

}  // namespace vantorel::lang
