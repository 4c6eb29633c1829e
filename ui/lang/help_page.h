// Help that always answers: the help page opens with the desktop's handler for web pages, or,
// when none starts (there is none, or it needs a terminal), a box gives the page's path.
#pragma once

#include <QString>

#include <filesystem>

class QMessageBox;
class QWidget;

namespace vantorel::lang {

// The help page in a program's data folder.
std::filesystem::path HelpPage(const std::filesystem::path& applicationFolder);

// Opens `page` with the default handler. When none starts, shows a box that does not wait,
// titled `title`, with `text` (%1: the page's path; both in the chosen language), and returns
// it: `parent` owns it and it is deleted when closed. Null when a handler started.
QMessageBox* OpenHelpPage(const std::filesystem::path& page, QWidget* parent, const QString& title,
                          const QString& text);

}  // namespace vantorel::lang
