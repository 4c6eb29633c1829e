#include "receiver/app/receiver_strings.h"

namespace vantorel::receiver::app {
namespace {

constexpr ui::StringEntry kStrings[] = {
    {kIdsAboutMenu, "&About Lunnet..."},
    {kIdsTrustMenu, "Trust this sender"},
    {kIdsAutostartMenu, "Start with the session"},
    {kIdsWebMenu, "Show in browsers..."},
    {kIdsWebStopMenu, "Stop showing in browsers"},
    // The trailing blank is part of the text.
    {kIdsResourceError, "Error: Can not load resource files. "},
    {kIdsCaption, "Vantorel - [Lunnet]"},
    {kIdsAboutTitle, "About Lunnet"},
    {kIdsAboutVersion, "Lunnet Version 1.0"},
    {kIdsAboutText, "Vantorel: live media broadcasting on a local network"},
    {kIdsNoAudioDevice,
     "No audio device was found. The sound of the broadcast is received but not played here."},
    {kIdsMessageTitle, "Lunnet"},
    {kIdsStatusWaiting, "Waiting for a broadcast on UDP port %1"},
    {kIdsStatusListeningOn, "Listening on %1"},
    {kIdsStatusReceiving, "Receiving from %1"},
    {kIdsStatusNoSignal, "No signal from the sender for %1 s"},
    {kIdsStatusEnded, "The broadcast has ended. Waiting for the next one."},
    {kIdsStatusAudioOnly, "Audio only"},
    {kIdsStatusCannotListen, "Cannot listen on UDP port %1: another program may be using it."},
    {kIdsVolume, "Volume %1%"},
    {kIdsMuted, "Muted"},
    {kIdsStatisticsRate, "%1 Mbit/s"},
    {kIdsStatisticsCounts, "Messages lost %1 · datagrams recovered %2 · dropped %3"},
    {kIdsStatusTrustedOnly, "Only trusted senders"},
    {kIdsStatusSignedBy, "Signed by %1"},
    {kIdsStatisticsTrust, "Refused: unsigned %1 · bad signature %2 · replayed %3 · untrusted %4"},
    {kIdsUnsignedSender, "This sender does not sign its broadcasts, so it cannot be trusted."},
    {kIdsNowTrusted, "%1 is trusted. From now on only trusted senders are received."},
    {kIdsTrustNotSaved, "The sender is trusted until Lunnet closes, but not saved: %1"},
    {kIdsFullScreenMenu, "Full screen\tF11"},
    {kIdsFiguresMenu, "Figures\tI"},
    {kIdsLanguageMenu, "Language"},
    {kIdsQuitMenu, "Quit\tCtrl+Q"},
    {kIdsAutostartFailed, "Starting with the session cannot be changed: %1"},
    {kIdsHelpNotOpened, "No program opened the help page. Open it in a web browser: %1"},
    {kIdsStatusWaitingFor, "Waiting for %1 on UDP port %2"},
    {kIdsStatusPaused, "Paused by %1"},
    {kIdsStatusStopped, "Stopped by %1"},
    {kIdsStatusSendersOnAir, "%1 senders on the air · S: choose"},
    {kIdsSendersMenu, "Senders\tS"},
    {kIdsAnySender, "The first sender heard"},
    {kIdsSenderPaused, "paused"},
    {kIdsSenderStopped, "stopped"},
    {kIdsWebAddresses, "Open this address in a browser on any device of the network:"},
    {kIdsWebFailed, "The broadcast cannot be shown in browsers: %1"},
};

}  // namespace

const ui::StringTable& Strings() {
  static constexpr ui::StringTable table(kStrings);
  return table;
}

}  // namespace vantorel::receiver::app
