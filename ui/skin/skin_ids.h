// The identifiers both programs share: the command each skinned widget sends, the pictures of
// the resource library it is drawn from, and its tooltip.
#pragma once

#include <array>

#include "ui/skin/skin_geometry.h"

namespace vantorel::skin {

inline constexpr int kCmdPlay = 1000;
inline constexpr int kCmdStop = 1001;
inline constexpr int kCmdForward = 1003;
inline constexpr int kCmdOpen = 1004;
inline constexpr int kCmdPause = 1005;
inline constexpr int kCmdMinimize = 1006;
inline constexpr int kCmdMaximize = 1007;
inline constexpr int kCmdClose = 1008;
inline constexpr int kCmdRestore = 1009;
inline constexpr int kCmdHelp = 1010;
inline constexpr int kCmdLanguage = 1011;
inline constexpr int kCmdHomePage = 1012;
inline constexpr int kCmdSeek = 1104;

// The frame picture, cut into nine pieces.
inline constexpr int kFramePicture = 152;

// Colour picture and grey mask of each state, in the order normal, hover, pressed, disabled.
struct ButtonPictures {
  std::array<int, 4> colour;
  std::array<int, 4> mask;
};

struct SkinButtonInfo {
  int command;
  ButtonPictures pictures;
  int toolId;
  const char* toolText;
};

// The buttons of the frame, in creation order.
enum class FrameButton { kHomePage, kLanguage, kHelp, kMinimize, kMaximize, kRestore, kClose };

inline constexpr std::array<SkinButtonInfo, 7> kFrameButtons{{
    {kCmdHomePage,
     {{146, 150, 150, 150}, {147, 145, 145, 145}},
     32775,
     "Open Vantorel's help page"},
    {kCmdLanguage, {{143, 126, 127, 143}, {149, 149, 149, 149}}, 32774, "Choose a language"},
    {kCmdHelp, {{128, 129, 130, 128}, {149, 149, 149, 149}}, 104, "Help of Vantorel"},
    {kCmdMinimize, {{131, 132, 133, 131}, {149, 149, 149, 149}}, 105, "Minimize Window"},
    {kCmdMaximize, {{134, 135, 136, 134}, {149, 149, 149, 149}}, 106, "Maximize Window"},
    {kCmdRestore, {{137, 138, 140, 137}, {149, 149, 149, 149}}, 32773, "Restore Window"},
    {kCmdClose, {{141, 142, 125, 141}, {149, 149, 149, 149}}, 107, "Exit from Vantorel"},
}};

// The sender's transport buttons, in creation and layout order: Play, Pause, Stop, Open.
inline constexpr std::array<SkinButtonInfo, 4> kTransportButtons{{
    {kCmdPlay, {{101, 103, 104, 102}, {148, 148, 148, 148}}, 108, "Broadcast"},
    {kCmdPause, {{108, 107, 106, 105}, {148, 148, 148, 148}}, 109, "Pause"},
    {kCmdStop, {{112, 111, 110, 109}, {148, 148, 148, 148}}, 110, "Stop"},
    {kCmdOpen,
     {{116, 115, 114, 113}, {148, 148, 148, 148}},
     111,
     "Open a media file and broadcast"},
}};

inline constexpr SkinButtonInfo kSeekSlider{
    kCmdSeek, {{124, 123, 122, 121}, {144, 144, 144, 144}}, 112, "Seek"};

// Where the widgets are created. The layout moves them on the first resize, but a button's
// picture size is taken from its first rectangle.
inline constexpr Rect kHomePageFirstRect{10, 320, 74, 360};
inline constexpr Rect kSmallButtonFirstRect{100, 100, 116, 116};
inline constexpr Rect kTransportFirstRect{200, 200, 232, 232};
inline constexpr Rect kSeekTrackFirstRect{10, 300, 210, 301};
inline constexpr Rect kSeekThumbFirstRect{10, 300, 26, 308};

}  // namespace vantorel::skin
