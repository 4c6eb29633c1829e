#include "ui/lang/help_page.h"

#include <QMessageBox>

#include "ui/lang/open_with_browser.h"

namespace vantorel::lang {

std::filesystem::path HelpPage(const std::filesystem::path& applicationFolder) {
  return applicationFolder / "help" / "help.htm";
}

QMessageBox* OpenHelpPage(const std::filesystem::path& page, QWidget* parent, const QString& title,
                          const QString& text) {
  if (OpenWithBrowser(page.string(), kShowNormal) != 0) return nullptr;
  auto* box =
      new QMessageBox(QMessageBox::Information, title,
                      text.arg(QString::fromStdString(page.string())), QMessageBox::Ok, parent);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setModal(false);
  // The path can be copied into a browser.
  box->setTextInteractionFlags(Qt::TextSelectableByMouse);
  box->show();
  return box;
}

}  // namespace vantorel::lang
