// Lunnet's string table: the texts its windows and message boxes show, by identifier.
#pragma once

#include "ui/string_table.h"

namespace vantorel::receiver::app {

enum StringId : int {
  kIdsAboutMenu = 101,
  kIdsTrustMenu = 103,
  kIdsAutostartMenu = 104,
  kIdsWebMenu = 105,
  kIdsWebStopMenu = 106,
  kIdsResourceError = 32776,
  // The window's caption and the about box.
  kIdsCaption = 32777,
  kIdsAboutTitle = 32778,
  kIdsAboutVersion = 32779,
  kIdsAboutText = 32780,
  kIdsNoAudioDevice = 32781,
  // Message boxes carry the program's name as their title.
  kIdsMessageTitle = 32782,
  // The status line over the video (%1: port, address or seconds).
  kIdsStatusWaiting = 32790,
  kIdsStatusListeningOn = 32791,
  kIdsStatusReceiving = 32792,
  kIdsStatusNoSignal = 32793,
  kIdsStatusEnded = 32794,
  kIdsStatusAudioOnly = 32795,
  kIdsStatusCannotListen = 32796,
  // The local volume, shown for a moment when it changes (%1: percent).
  kIdsVolume = 32797,
  kIdsMuted = 32798,
  // The figures of the reception, on request (%1: Mbit/s; lost, recovered, dropped counts).
  kIdsStatisticsRate = 32799,
  kIdsStatisticsCounts = 32800,
  // Signed senders and trust (%1: a fingerprint, counts, a reason).
  kIdsStatusTrustedOnly = 32801,
  kIdsStatusSignedBy = 32802,
  kIdsStatisticsTrust = 32803,
  kIdsUnsignedSender = 32804,
  kIdsNowTrusted = 32805,
  kIdsTrustNotSaved = 32806,
  // The context menu on the video (a tab and the key after the entry's name).
  kIdsFullScreenMenu = 32807,
  kIdsFiguresMenu = 32808,
  kIdsLanguageMenu = 32809,
  kIdsQuitMenu = 32810,
  // Starting with the session, and the help page (%1: a reason, a path).
  kIdsAutostartFailed = 32811,
  kIdsHelpNotOpened = 32812,
  // Senders by name (%1: a name, a count; %2: a port): the status line, the senders menu.
  kIdsStatusWaitingFor = 32813,
  kIdsStatusPaused = 32814,
  kIdsStatusStopped = 32815,
  kIdsStatusSendersOnAir = 32816,
  kIdsSendersMenu = 32817,
  kIdsAnySender = 32818,
  kIdsSenderPaused = 32819,
  kIdsSenderStopped = 32820,
  // Showing the broadcast in browsers (the page's addresses follow; %1: a reason).
  kIdsWebAddresses = 32821,
  kIdsWebFailed = 32822,
};

// Lunnet's texts.
const ui::StringTable& Strings();

}  // namespace vantorel::receiver::app
