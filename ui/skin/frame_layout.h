// The geometry of the skinned main frame: its metrics, the nine pieces the frame picture is
// cut into, the resize bands, and where the layout puts the widgets of the bottom panel.
#pragma once

#include <array>

#include "ui/skin/skin_geometry.h"

namespace vantorel::skin {

struct FrameMetrics {
  int skinWidth = 384;
  int skinHeight = 288;
  int left = 8;
  int right = 8;
  int top = 8;
  int bottom = 64;
  int bottomLeftWidth = 150;
  int bottomRightWidth = 20;
};

inline constexpr int kMinimumFrameWidth = 406;
inline constexpr int kMinimumFrameHeight = 285;
// The client size both main windows open with: their dialog template's 268 x 188 dialog units.
inline constexpr int kDefaultFrameWidth = 406;
inline constexpr int kDefaultFrameHeight = 306;

// The two programs lay their frames out a little differently.
enum class FrameProgram { kSender, kReceiver };

// What a point of the frame does under the mouse (the values of the window system's hit codes).
enum class FrameHit : int {
  kClient = 1,
  kLeft = 10,
  kRight = 11,
  kTop = 12,
  kTopLeft = 13,
  kTopRight = 14,
  kBottom = 15,
  kBottomLeft = 16,
  kBottomRight = 17,
};

// The resize band under a client point of a w x h window. The bottom band is as high as the
// top border, not the bottom panel.
FrameHit FrameHitTest(const FrameMetrics& m, Point p, int w, int h);

// The client area less the borders, where the video goes.
Rect VideoArea(const FrameMetrics& m, int w, int h);

struct FramePiece {
  Rect destination;
  Rect source;
};
// The nine pieces for a w x h client area, in drawing order: corners 1:1, the rest stretched.
std::array<FramePiece, 9> NinePieces(const FrameMetrics& m, int w, int h);

// Where the buttons both programs have stand.
struct FrameButtonLayout {
  Rect homePage;
  Rect language;
  Rect help;
  Rect minimise;
  Rect maximise;
  Rect restore;
  Rect close;
};
// showNormal: the window is neither maximised nor minimised; then maximise is in view and
// restore parked, otherwise the other way round.
FrameButtonLayout LayoutFrameButtons(const FrameMetrics& m, FrameProgram program, int cx, int cy,
                                     bool showNormal);

// Where the sender's transport buttons (Play, Pause, Stop, Open) and seek slider stand.
struct TransportLayout {
  std::array<Rect, 4> buttons;
  Rect track;
  int thumbTop = 0;
};
TransportLayout LayoutTransport(const FrameMetrics& m, int cx, int cy);

}  // namespace vantorel::skin
