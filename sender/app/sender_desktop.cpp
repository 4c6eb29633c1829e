#include "sender/app/sender_desktop.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QSettings>

#include "sender/app/string_table.h"
#include "ui/lang/language_manager.h"
#include "ui/lang/open_with_browser.h"
#include "ui/program_settings.h"

namespace vantorel::sender::app {
namespace {

constexpr int kDetailWidth = 320;
const QString kFolderKey = QStringLiteral("open/folder");

QSettings Settings() {
  return ui::ProgramSettings(QStringLiteral("strovan"));
}

QMessageBox::Icon ToQtIcon(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::kError:
      return QMessageBox::Critical;
    case MessageIcon::kExclamation:
      return QMessageBox::Warning;
    case MessageIcon::kInformation:
      return QMessageBox::Information;
  }
  return QMessageBox::NoIcon;
}

}  // namespace

// The dialogs start in the folder of the last file chosen, kept in the user's configuration.
QStringList QtSenderDesktop::ChooseFilesToOpen(QWidget* parent, const QString& filter) {
  QSettings settings = Settings();
  const QString folder = settings.value(kFolderKey).toString();
  const QStringList paths = QFileDialog::getOpenFileNames(parent, QString(), folder, filter);
  if (!paths.isEmpty()) settings.setValue(kFolderKey, QFileInfo(paths.front()).absolutePath());
  return paths;
}

QString QtSenderDesktop::ChooseFolderToOpen(QWidget* parent) {
  QSettings settings = Settings();
  const QString path =
      QFileDialog::getExistingDirectory(parent, QString(), settings.value(kFolderKey).toString());
  if (!path.isEmpty()) settings.setValue(kFolderKey, path);
  return path;
}

QString QtSenderDesktop::RememberedName() {
  return Settings().value(QStringLiteral("sender/name")).toString();
}

bool QtSenderDesktop::RememberedLoop() {
  return Settings().value(QStringLiteral("playlist/loop"), false).toBool();
}

void QtSenderDesktop::RememberLoop(bool loop) {
  Settings().setValue(QStringLiteral("playlist/loop"), loop);
}

std::optional<QString> QtSenderDesktop::AskName(QWidget* parent, const QString& current) {
  QInputDialog dialog(parent);
  dialog.setWindowTitle(Strings().String(IDS_NAME_TITLE));
  dialog.setLabelText(Strings().String(IDS_NAME_PROMPT));
  dialog.setTextValue(current);
  languages_.TranslateAllWindows();
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QString name = dialog.textValue().trimmed();
  Settings().setValue(QStringLiteral("sender/name"), name);
  return name;
}

void QtSenderDesktop::ShowMessage(QWidget* parent, const QString& text, MessageIcon icon,
                                  const QString& detail) {
  QMessageBox box(ToQtIcon(icon), Strings().String(IDS_MESSAGE_TITLE), text, QMessageBox::Ok,
                  parent);
  if (!detail.isEmpty()) {
    box.setInformativeText(detail);
    // The detail (a file's path) wraps in a readable column rather than the width of the first
    // line.
    if (auto* line = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel"))) {
      line->setMinimumWidth(kDetailWidth);
    }
  }
  languages_.TranslateAllWindows();
  box.exec();
}

void QtSenderDesktop::ShowNote(QWidget* parent, const QString& text) {
  auto* box = new QMessageBox(QMessageBox::Information, Strings().String(IDS_MESSAGE_TITLE), text,
                              QMessageBox::Ok, parent);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setModal(false);
  languages_.TranslateAllWindows();
  box->show();
}

void QtSenderDesktop::ShowAbout(QWidget* parent, const QString& signing) {
  QMessageBox box(QMessageBox::Information, Strings().String(IDS_ABOUT_TITLE),
                  Strings().String(IDS_ABOUT_VERSION), QMessageBox::Ok, parent);
  box.setInformativeText(Strings().String(IDS_ABOUT_TEXT) +
                         (signing.isEmpty() ? QString() : QLatin1Char('\n') + signing));
  // The line is kept on one line rather than wrapped into a narrow column.
  if (auto* line = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel"))) {
    line->setWordWrap(false);
  }
  if (parent != nullptr && !parent->windowIcon().isNull())
    box.setIconPixmap(parent->windowIcon().pixmap(48, 48));
  languages_.TranslateAllWindows();
  box.exec();
}

int QtSenderDesktop::OpenWithBrowser(std::string_view argument) {
  return lang::OpenWithBrowser(argument, lang::kShowNormal);
}

}  // namespace vantorel::sender::app
