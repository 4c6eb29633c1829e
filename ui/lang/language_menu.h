// The language menu of the main windows: "English", a separator and every language file's
// display name, the current language checked; the choice is applied at once.
#pragma once

#include <memory>

#include "ui/lang/language_manager.h"

class QMenu;
class QWidget;

namespace vantorel::lang {

// A fresh menu for the manager's languages. Each language item carries its display name as
// its data; an item's text escapes '&' so that the name shows as the file declares it.
std::unique_ptr<QMenu> BuildLanguageMenu(const LanguageManager& manager);

// Posted to the owner of the language menu once the menu has closed, whether a language was
// chosen or not. The main windows take it as any unknown event.
struct LanguageMenuClosed {};

// Shows the menu with its top-left corner at (x, y) in the owner's client coordinates and
// returns after it has closed. A chosen language becomes current and every window is
// translated; then the owner is posted LanguageMenuClosed. Returns the result of the post
// (1 when posted), or 0 when there is no owner.
int ShowLanguageMenu(LanguageManager& manager, QWidget* owner, int x, int y);

}  // namespace vantorel::lang
