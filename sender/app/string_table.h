// Strovan's string table: the texts the program shows, by their resource identifiers.
#pragma once

#include <QString>

#include <string>
#include <vector>

#include "ui/string_table.h"

namespace vantorel::sender::app {

inline constexpr int IDS_ABOUTBOX = 101;
inline constexpr int IDS_SOCKET_ERROR = 103;
inline constexpr int IDS_TIP_HELP = 104;
inline constexpr int IDS_TIP_MINIMIZE = 105;
inline constexpr int IDS_TIP_MAXIMIZE = 106;
inline constexpr int IDS_TIP_CLOSE = 107;
inline constexpr int IDS_TIP_PLAY = 108;
inline constexpr int IDS_TIP_PAUSE = 109;
inline constexpr int IDS_TIP_STOP = 110;
inline constexpr int IDS_TIP_OPEN = 111;
inline constexpr int IDS_TIP_SEEK = 112;
inline constexpr int IDS_UNSUPPORTED_FILE = 113;
inline constexpr int IDS_TIP_RESTORE = 32773;
inline constexpr int IDS_TIP_LANGUAGE = 32774;
inline constexpr int IDS_TIP_LOGO = 32775;
inline constexpr int IDS_TITLE = 32777;
inline constexpr int IDS_RESOURCE_ERROR = 32778;
inline constexpr int IDS_FILE_FILTER = 32784;
inline constexpr int IDS_MESSAGE_TITLE = 32785;
inline constexpr int IDS_ABOUT_TITLE = 32786;
inline constexpr int IDS_ABOUT_VERSION = 32787;
inline constexpr int IDS_ABOUT_TEXT = 32788;
inline constexpr int IDS_NO_AUDIO_DEVICE = 32789;
// The status line over the video area.
inline constexpr int IDS_STATUS_OPEN_HINT = 32790;
inline constexpr int IDS_STATUS_AUDIO_ONLY = 32791;
// Who signs the broadcast (%1: a fingerprint), and what went out (%1 to %3: counts).
inline constexpr int IDS_SIGNED_AS = 32795;
inline constexpr int IDS_UNSIGNED = 32796;
inline constexpr int IDS_FIGURES_SENT = 32797;
// The Open dialog's entry for every extension that the installed decoders can play.
inline constexpr int IDS_PLAYABLE_FILES = 32792;
// The local volume, shown for a moment when it changes (%1: percent).
inline constexpr int IDS_VOLUME = 32793;
inline constexpr int IDS_MUTED = 32794;
// When no program opens the help page (%1: its path).
inline constexpr int IDS_HELP_NOT_OPENED = 32798;
// The name receivers list the sender by: the window menu's entry and its dialog.
inline constexpr int IDS_NAME_MENU = 32799;
inline constexpr int IDS_NAME_TITLE = 32800;
inline constexpr int IDS_NAME_PROMPT = 32801;
// The source menu (the window menu's submenu, a right click on the Open button or the video,
// Ctrl+L): the screen or a window of it, a camera, the microphone, a folder, the list.
inline constexpr int IDS_SOURCE_MENU = 32802;
inline constexpr int IDS_BROADCAST_SCREEN = 32803;
inline constexpr int IDS_WHOLE_SCREEN = 32804;
inline constexpr int IDS_BROADCAST_CAMERA = 32805;
inline constexpr int IDS_NO_CAMERA = 32806;
inline constexpr int IDS_ADD_MICROPHONE = 32807;
inline constexpr int IDS_MUTE_MICROPHONE = 32808;
inline constexpr int IDS_OPEN_FOLDER = 32809;
inline constexpr int IDS_SHOW_LIST = 32810;
inline constexpr int IDS_LOOP_LIST = 32811;
// A file of the list that could not be opened (%1: its name, %2: why), and the time a live
// source has been on the air (%1: minutes and seconds).
inline constexpr int IDS_SKIPPED = 32812;
inline constexpr int IDS_ON_AIR = 32813;
// What a live source puts on the air, as the status line shows it (%1: the camera's name).
inline constexpr int IDS_LIVE_SCREEN = 32814;
inline constexpr int IDS_LIVE_WINDOW = 32815;
inline constexpr int IDS_LIVE_CAMERA = 32816;
inline constexpr int IDS_LIVE_MICROPHONE = 32817;

// Strovan's texts.
const ui::StringTable& Strings();

// A filter list of the form "Name|*.a; *.b|Name|*.c||" in the file dialog's form
// "Name (*.a *.b);;Name (*.c)".
QString FileDialogFilter(const QString& filterList);
// The dialog's filter with an entry for `extensions` (without dots) second, named `name`.
QString WithPlayableEntry(const QString& filter, const QString& name,
                          const std::vector<std::string>& extensions);

}  // namespace vantorel::sender::app
