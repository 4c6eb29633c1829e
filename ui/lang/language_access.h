// The process-wide language manager: the language folder beside the program, the Qt window
// walker; language.set is written when the process ends.
#pragma once

#include "ui/lang/language_manager.h"

namespace vantorel::lang {

LanguageManager& TheLanguageManager();

}  // namespace vantorel::lang
