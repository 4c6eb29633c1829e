#include "receiver/app/receiver_strings.h"

#include <array>
#include <utility>

namespace vantorel::receiver_app {
namespace {

constexpr std::array<std::pair<int, const char*>, 7> kStrings{{
    {kIdsAboutMenu, "About Lunnet(&A)..."},
    {kIdsHomePage, "https://vantorel.example.org/"},
    // The trailing blank is part of the text.
    {kIdsResourceError, "Error: Can not load resource files. "},
    {kIdsCaption, "Vantorel - [Lunnet]"},
    {kIdsAboutTitle, "About Lunnet"},
    {kIdsAboutText, "<b>Lunnet</b> %1<br>Receives and plays what a Vantorel sender broadcasts "
                    "live on the local network.<br>%2"},
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
