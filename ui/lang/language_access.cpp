#include "ui/lang/language_access.h"

#include "ui/lang/qt_window_walker.h"

namespace vantorel::lang {

// Made on first use; destroyed, and so saved, at normal process exit.
LanguageManager& TheLanguageManager() {
  static LanguageManager manager(DefaultLanguageFolders(), std::make_unique<QtWindowWalker>());
  return manager;
}

}  // namespace vantorel::lang
