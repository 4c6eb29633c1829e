// A skinned button drawn from four premultiplied alpha pictures (normal, hover, pressed,
// disabled) with a seven-frame cross-fade whenever its picture changes. A click sends the
// button's event to the owner, which handles it at once.
#pragma once

#include <QImage>

#include <array>
#include <cstdint>

#include "ui/skin/fade_state.h"
#include "ui/skin/skin_ids.h"
#include "ui/skin/skin_widget.h"

namespace vantorel::skin {

class ResourceLibrary;

// A missing picture is a null image: that state then keeps the picture it fades from.
struct ButtonImages {
  QImage normal;
  QImage hover;
  QImage pressed;
  QImage disabled;
};

// The four pictures from the library; all null without a library.
ButtonImages LoadButtonImages(const ResourceLibrary* module, const ButtonPictures& pictures);

// The click of a button that stands for a command, as every button of both programs does.
inline FrameEvent CommandClick(int command) {
  return CommandEvent{command};
}

class ImageButton : public SkinWidget {
 public:
  // The picture size is taken from the first rectangle, whatever the rectangle becomes later.
  ImageButton(WidgetOwner& owner, const Rect& rect, FrameEvent click, ButtonImages images);

  void OnMouseEnter() override;
  void OnMouseLeave() override;
  void OnLButtonDown(int x, int y) override;
  void OnLButtonUp() override;
  void OnClick() override;
  // Asks for a redraw while a fade runs, so a fade advances one frame per tick.
  void OnTick() override;
  // Composes the next fade frame, if any, and draws the composite at the rectangle's corner.
  void Draw(QPainter& dc) override;
  void SetDisabled(bool flag) override;
  // Starts a fade from the picture on screen to the picture of the current state.
  virtual void SelectTarget();

  const FadeState& Fade() const { return fade_; }
  int ImageWidth() const { return imageWidth_; }
  int ImageHeight() const { return imageHeight_; }

 private:
  const QImage& TargetImage() const;

  FrameEvent click_;
  int imageWidth_;
  int imageHeight_;
  ButtonImages images_;
  // bufferA and bufferB, serving in turn as the composite and the picture the fade starts from.
  std::array<QImage, 2> buffers_;
  FadeState fade_;
};

}  // namespace vantorel::skin
