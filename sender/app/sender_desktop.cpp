#include "sender/app/sender_desktop.h"

#include <QFileDialog>
#include <QMessageBox>

#include "sender/app/string_table.h"
#include "ui/lang/open_with_browser.h"

namespace vantorel::sender::app {
namespace {

QMessageBox::Icon ToQtIcon(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::kError: return QMessageBox::Critical;
    case MessageIcon::kExclamation: return QMessageBox::Warning;
    case MessageIcon::kInformation: return QMessageBox::Information;
  }
  return QMessageBox::NoIcon;
}

// Message boxes carry the program's title, as the window's own boxes do.
QString BoxTitle() { return QStringLiteral("Strovan"); }

}  // namespace

std::optional<QString> QtSenderDesktop::ChooseFileToOpen(QWidget* parent,
                                                         const QString& filter) {
  const QString path = QFileDialog::getOpenFileName(parent, QString(), QString(), filter);
  if (path.isEmpty()) return std::nullopt;
  return path;
}

void QtSenderDesktop::ShowMessage(QWidget* parent, const QString& text, MessageIcon icon) {
  QMessageBox box(ToQtIcon(icon), BoxTitle(), text, QMessageBox::Ok, parent);
  box.exec();
}

void QtSenderDesktop::ShowNote(QWidget* parent, const QString& text) {
  auto* box = new QMessageBox(QMessageBox::Information, BoxTitle(), text, QMessageBox::Ok, parent);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setModal(false);
  box->show();
}

void QtSenderDesktop::ShowAbout(QWidget* parent) {
  QMessageBox::about(parent, QStringLiteral("About Strovan"),
                     QStringLiteral("<b>Strovan</b> %1<br>Broadcasts a media file's audio and "
                                    "video live over the local network.<br>%2")
                         .arg(QStringLiteral(VANTOREL_VERSION), LoadString(IDS_HOMEPAGE_ADDRESS)));
}

int QtSenderDesktop::OpenWithBrowser(std::string_view argument) {
  return lang::OpenWithBrowser(argument, lang::kShowNormal);
}

}  // namespace vantorel::sender::app
