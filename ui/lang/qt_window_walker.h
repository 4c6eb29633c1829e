// The Qt side of the translation pass: every top-level widget of the calling thread, its
// title, menus (recursively), tooltips, the tooltip tools of skinned windows, and the text of
// every descendant widget that shows one.
#pragma once

#include <QSet>
#include <QString>

#include "ui/lang/language_manager.h"

class QAction;
class QWidget;

namespace vantorel::lang {

class QtWindowWalker : public WindowTextWalker {
 public:
  void WalkAllWindows(LanguageManager& manager) override;
};

// The UTF-8 bytes of a text, cut to what a 260-byte buffer holds without splitting a character.
std::string ToProfileText(const QString& text);

}  // namespace vantorel::lang
