#include "ui/skin/image_button.h"

#include <QPainter>

#include "ui/skin/skin_bitmap.h"

namespace vantorel::skin {
namespace {

// composite = from faded towards to by level / 255, in every channel.
void Compose(QImage& composite, const QImage& from, const QImage& target, std::uint8_t level) {
  QImage to = target.isNull() ? from : target;
  if (to.size() != from.size()) to = to.scaled(from.size());
  to = to.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  composite = from.copy();
  const auto bytes = static_cast<std::size_t>(from.width()) * 4;
  for (int y = 0; y < from.height(); ++y) {
    BlendConstantAlpha(composite.scanLine(y), from.constScanLine(y), to.constScanLine(y), bytes,
                       level);
  }
}

}  // namespace

ButtonImages LoadButtonImages(const ResourceLibrary* module, const ButtonPictures& pictures) {
  if (module == nullptr) return {};
  auto load = [&](int state) {
    return LoadAlphaBitmap(*module, pictures.colour[state], pictures.mask[state]);
  };
  return ButtonImages{load(0), load(1), load(2), load(3)};
}

ImageButton::ImageButton(WidgetOwner& owner, const Rect& rect, FrameEvent click,
                         ButtonImages images)
    : SkinWidget(owner, rect),
      click_(click),
      imageWidth_(rect.Width()),
      imageHeight_(rect.Height()),
      images_(std::move(images)) {
  const QImage normal = images_.normal.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  buffers_ = {normal.copy(), normal.copy()};
}

void ImageButton::OnMouseEnter() {
  SkinWidget::OnMouseEnter();
  SelectTarget();
}

void ImageButton::OnMouseLeave() {
  SkinWidget::OnMouseLeave();
  SelectTarget();
}

void ImageButton::OnLButtonDown(int x, int y) {
  SkinWidget::OnLButtonDown(x, y);
  SelectTarget();
}

void ImageButton::OnLButtonUp() {
  SkinWidget::OnLButtonUp();
  SelectTarget();
}

void ImageButton::OnClick() {
  owner_.Send(click_);
}

void ImageButton::OnTick() {
  if (fade_.Running()) Redraw();
}

void ImageButton::SetDisabled(bool flag) {
  if (flag == disabled_) return;
  SkinWidget::SetDisabled(flag);
  SelectTarget();
}

void ImageButton::SelectTarget() {
  fade_.Restart(TargetFor(disabled_, hovered_, pressed_));
}

const QImage& ImageButton::TargetImage() const {
  switch (fade_.Target()) {
    case StatePicture::kNormal:
      return images_.normal;
    case StatePicture::kHover:
      return images_.hover;
    case StatePicture::kPressed:
      return images_.pressed;
    case StatePicture::kDisabled:
      return images_.disabled;
    case StatePicture::kNone:
      break;
  }
  return buffers_[fade_.FadeFromIndex()];
}

void ImageButton::Draw(QPainter& dc) {
  if (hidden_) return;
  QImage& composite = buffers_[fade_.CompositeIndex()];
  const QImage& from = buffers_[fade_.FadeFromIndex()];
  if (composite.isNull() || from.isNull()) return;
  if (fade_.Advance()) Compose(composite, from, TargetImage(), fade_.FadeLevel());
  dc.drawImage(QRect(rect_.left, rect_.top, imageWidth_, imageHeight_), composite);
}

}  // namespace vantorel::skin
