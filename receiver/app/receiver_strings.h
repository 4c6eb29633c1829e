// Lunnet's string table: the texts its windows and message boxes show, by identifier.
#pragma once

namespace vantorel::receiver_app {

enum StringId : int {
  kIdsAboutMenu = 101,
  kIdsHomePage = 102,
  kIdsResourceError = 32776,
  // The window's caption and the about box.
  kIdsCaption = 32777,
  kIdsAboutTitle = 32778,
  kIdsAboutVersion = 32779,
  kIdsAboutText = 32780,
  kIdsNoAudioDevice = 32781,
};

// The text of a string, or "" for an identifier the table does not have.
const char* LoadString(int id);

}  // namespace vantorel::receiver_app
