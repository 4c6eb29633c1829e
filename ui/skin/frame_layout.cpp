#include "ui/skin/frame_layout.h"

namespace vantorel::skin {
namespace {

constexpr int kHomeWidth = 64;
constexpr int kHomeHeight = 40;
constexpr int kHomeInset = 10;
constexpr Point kHomeParking{-1000, -1000};
constexpr Rect kButtonParking{-100, -100, -84, -84};
constexpr int kSmallButton = 16;
// Width the small buttons at the right of the bottom panel keep free of the home page button.
constexpr int kSmallButtonsReserve = 82;
// The sender's transport buttons and slider need this much more.
constexpr int kTransportReserve = 138;
constexpr int kTransportButton = 32;

}  // namespace

FrameHit FrameHitTest(const FrameMetrics& m, Point p, int w, int h) {
  const bool left = p.x < m.left;
  const bool right = p.x > w - m.right;
  const bool top = p.y < m.top;
  const bool bottom = p.y > h - m.top;
  if (left && top) return FrameHit::kTopLeft;
  if (left && bottom) return FrameHit::kBottomLeft;
  if (right && top) return FrameHit::kTopRight;
  if (right && bottom) return FrameHit::kBottomRight;
  if (left) return FrameHit::kLeft;
  if (right) return FrameHit::kRight;
  if (top) return FrameHit::kTop;
  if (bottom) return FrameHit::kBottom;
  return FrameHit::kClient;
}

Rect VideoArea(const FrameMetrics& m, int w, int h) {
  return Rect{m.left, m.top, w - m.right, h - m.bottom};
}

std::array<FramePiece, 9> NinePieces(const FrameMetrics& m, int w, int h) {
  const int W = m.skinWidth, H = m.skinHeight;
  const int L = m.left, R = m.right, T = m.top, B = m.bottom;
  const int BL = m.bottomLeftWidth, BR = m.bottomRightWidth;
  auto piece = [](int dx, int dy, int dw, int dh, int sx, int sy, int sw, int sh) {
    return FramePiece{Rect::FromSize(dx, dy, dw, dh), Rect::FromSize(sx, sy, sw, sh)};
  };
  return {
      piece(0, 0, L, T, 0, 0, L, T),
      piece(w - R, 0, R, T, W - R, 0, R, T),
      piece(L, 0, w - L - R, T, L, 0, W - L - R, T),
      piece(0, T, L, h - T - B, 0, T, L, H - T - B),
      piece(w - R, T, R, h - T - B, W - R, T, R, H - T - B),
      piece(L, T, w - L - R, h - T - B, L, T, W - L - R, H - T - B),
      piece(0, h - B, BL, B, 0, H - B, BL, B),
      piece(w - BR, h - B, BR, B, W - BR, H - B, BR, B),
      piece(BL, h - B, w - BL - BR, B, BL, H - B, W - BL - BR, B),
  };
}

FrameButtonLayout LayoutFrameButtons(const FrameMetrics& m, FrameProgram program, int cx, int cy,
                                     bool showNormal) {
  FrameButtonLayout layout;
  const int reserve = program == FrameProgram::kSender ? kTransportReserve : 0;
  const int spare = cx - m.left - m.right - kSmallButtonsReserve - reserve;
  const Point home = spare > kHomeWidth
                         ? Point{m.left + kHomeInset, (m.bottom - kHomeHeight) / 2 + cy - m.bottom}
                         : kHomeParking;
  layout.homePage = Rect::FromSize(home.x, home.y, kHomeWidth, kHomeHeight);

  const int top = cy - m.top - 20;
  int left = cx - m.bottomRightWidth - kSmallButtonsReserve + 4;
  auto next = [&] {
    const Rect r = Rect::FromSize(left, top, kSmallButton, kSmallButton);
    left += kSmallButton;
    return r;
  };
  layout.language = next();
  layout.help = next();
  layout.minimise = next();
  const Rect sizing = next();
  layout.maximise = showNormal ? sizing : kButtonParking;
  layout.restore = showNormal ? kButtonParking : sizing;
  layout.close = next();
  return layout;
}

TransportLayout LayoutTransport(const FrameMetrics& m, int cx, int cy) {
  TransportLayout layout;
  const int top = (m.bottom - kTransportButton) / 2 + cy - m.bottom + 6;
  int left = m.bottomLeftWidth - 10;
  for (Rect& button : layout.buttons) {
    button = Rect::FromSize(left, top, kTransportButton, kTransportButton);
    left += kTransportButton;
  }
  layout.track =
      Rect{m.bottomLeftWidth - 20, cy - m.bottom + 2, cx - m.right - 20, cy - m.bottom + 10};
  layout.thumbTop = cy - m.bottom + 2;
  return layout;
}

}  // namespace vantorel::skin
