#include "ui/lang/language_menu.h"

#include <QAction>
#include <QMenu>
#include <QPointer>
#include <QWidget>

#include "platform/gui/qt_mailbox.h"

namespace vantorel::lang {
namespace {

QString FromBytes(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

std::unique_ptr<QMenu> BuildLanguageMenu(const LanguageManager& manager) {
  auto menu = std::make_unique<QMenu>();
  for (const LanguageMenuEntry& entry : manager.LanguageMenuEntries()) {
    if (entry.kind == LanguageMenuEntry::Kind::kSeparator) {
      menu->addSeparator();
      continue;
    }
    const QString name = FromBytes(entry.text);
    QAction* action = menu->addAction(QString(name).replace(QLatin1Char('&'), QLatin1String("&&")));
    action->setData(name);
    action->setCheckable(true);
    action->setChecked(entry.checked);
  }
  return menu;
}

int ShowLanguageMenu(LanguageManager& manager, QWidget* owner, int x, int y) {
  if (owner == nullptr) return 0;
  QPointer<QWidget> guard(owner);
  QString choice;
  {
    // The menu is gone before the pass, so that its own items are never translated.
    std::unique_ptr<QMenu> menu = BuildLanguageMenu(manager);
    owner->activateWindow();
    if (QAction* chosen = menu->exec(owner->mapToGlobal(QPoint(x, y)))) {
      choice = chosen->data().toString();
    }
  }
  if (!choice.isEmpty()) {
    const QByteArray name = choice.toUtf8();
    manager.ChooseLanguage(
        std::string_view(name.constData(), static_cast<std::size_t>(name.size())));
  }
  if (guard.isNull()) return 0;
  gui::QtMailbox<LanguageMenuClosed> owners(guard.data());
  return owners.Post(LanguageMenuClosed{}) ? 1 : 0;
}

}  // namespace vantorel::lang
