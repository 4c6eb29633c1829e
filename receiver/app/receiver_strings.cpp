#include "receiver/app/receiver_strings.h"

#include <array>
#include <utility>

namespace vantorel::receiver_app {
namespace {

constexpr std::array<std::pair<int, const char*>, 8> kStrings{{
    {kIdsAboutMenu, "About Lunnet(&A)..."},
    {kIdsHomePage, "https://vantorel.example.org/"},
    // The trailing blank is part of the text.
    {kIdsResourceError, "Error: Can not load resource files. "},
    {kIdsCaption, "Vantorel - [Lunnet]"},
    {kIdsAboutTitle, "About Lunnet"},
    {kIdsAboutVersion, "Lunnet Version 1.0"},
    {kIdsAboutText, "Vantorel: live media broadcasting on a local network"},
    {kIdsNoAudioDevice,
     "No audio device was found. The sound of the broadcast is received but not played here."},
}};

}  // namespace

const char* LoadString(int id) {
  for (const auto& [key, text] : kStrings) {
    if (key == id) return text;
  }
  return "";
}

}  // namespace vantorel::receiver_app
