#include "ui/lang/open_with_browser.h"

#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

#include <algorithm>
#include <array>
#include <string>

namespace vantorel::lang {
namespace {

// The browser's command line up to its first file or address field code (%u %U %f %F, with
// the quotes around it when it has them): what followed the field code is not passed on.
std::string UpToTheFileCode(std::string_view exec) {
  auto cut = std::string_view::npos;
  for (std::string_view code : std::array<std::string_view, 4>{"%u", "%U", "%f", "%F"}) {
    cut = std::min(cut, exec.find(code));
  }
  if (cut == std::string_view::npos) return std::string(exec);
  if (cut > 0 && (exec[cut - 1] == '"' || exec[cut - 1] == '\'') &&
      exec.substr(cut + 2, 1) == exec.substr(cut - 1, 1)) {
    --cut;
  }
  return std::string(exec.substr(0, cut));
}

// A web address as it is; a path as a file URI, which GIO gives the browser back as a path
// where the entry asks for one or for %u.
std::string UriOf(std::string_view argument) {
  const std::string text(argument);
  if (g_uri_peek_scheme(text.c_str()) != nullptr) return text;
  g_autoptr(GFile) file = g_file_new_for_path(text.c_str());
  g_autofree char* uri = g_file_get_uri(file);
  return uri;
}

}  // namespace

int OpenWithBrowser(std::string_view argument, [[maybe_unused]] int showCommand) {
  g_autoptr(GAppInfo) browser = g_app_info_get_default_for_type("text/html", FALSE);
  if (browser == nullptr) return 0;
  // A handler that runs in a terminal would start here without one, and show nothing.
  if (G_IS_DESKTOP_APP_INFO(browser) &&
      g_desktop_app_info_get_boolean(G_DESKTOP_APP_INFO(browser), "Terminal")) {
    return 0;
  }
  const char* exec = g_app_info_get_commandline(browser);
  if (exec == nullptr) return 0;
  // GIO expands the remaining field codes, appends the page as %u and starts the command.
  g_autoptr(GAppInfo) launcher = g_app_info_create_from_commandline(
      UpToTheFileCode(exec).c_str(), g_app_info_get_name(browser), G_APP_INFO_CREATE_SUPPORTS_URIS,
      nullptr);
  if (launcher == nullptr) return 0;
  std::string uri = UriOf(argument);
  g_autoptr(GList) uris = g_list_append(nullptr, uri.data());
  return g_app_info_launch_uris(launcher, uris, nullptr, nullptr) ? 1 : 0;
}

}  // namespace vantorel::lang
