// Points and rectangles in a window's client coordinates. Right and bottom are exclusive.
#pragma once

namespace vantorel::skin {

struct Point {
  int x = 0;
  int y = 0;
  friend bool operator==(const Point&, const Point&) = default;
};

struct Rect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;

  static constexpr Rect FromSize(int x, int y, int width, int height) {
    return Rect{x, y, x + width, y + height};
  }
  constexpr int Width() const { return right - left; }
  constexpr int Height() const { return bottom - top; }
  constexpr bool Contains(Point p) const {
    return left <= p.x && p.x < right && top <= p.y && p.y < bottom;
  }
  friend bool operator==(const Rect&, const Rect&) = default;
};

}  // namespace vantorel::skin
