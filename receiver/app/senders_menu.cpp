#include "receiver/app/senders_menu.h"

#include <QAction>
#include <QActionGroup>
#include <QMenu>
#include <QSettings>

#include "ui/program_settings.h"

namespace vantorel::receiver::app {
namespace {

const QString kSenderKey = QStringLiteral("reception/sender");

QSettings Settings() {
  return ui::ProgramSettings(QStringLiteral("lunnet"));
}

}  // namespace

QString SenderEntryText(const receiver::HeardSender& sender, const SendersMenuTexts& texts) {
  const protocol::Announcement& a = sender.announcement;
  QStringList parts{QString::fromStdString(a.name)};
  QString playing = QString::fromStdString(a.title);
  if (a.state == protocol::SenderState::kPaused)
    playing += QStringLiteral(" (%1)").arg(texts.paused);
  if (a.state == protocol::SenderState::kStopped) {
    playing += QStringLiteral(" (%1)").arg(texts.stopped);
  }
  if (!playing.trimmed().isEmpty()) parts << playing.trimmed();
  parts << QString::fromStdString(
      net::Endpoint{sender.address.address, sender.address.port}.ToString());
  return parts.join(QStringLiteral(" · "));
}

std::unique_ptr<QMenu> BuildSendersMenu(const receiver::ReceptionView& view,
                                        const SendersMenuTexts& texts,
                                        std::function<void(const std::string&)> choose) {
  auto menu = std::make_unique<QMenu>(texts.title);
  auto* group = new QActionGroup(menu.get());
  const auto add = [&](const QString& text, const std::string& name, bool checked) {
    QAction* entry = menu->addAction(text);
    entry->setCheckable(true);
    entry->setChecked(checked);
    group->addAction(entry);
    QObject::connect(entry, &QAction::triggered, menu.get(), [choose, name] { choose(name); });
  };
  add(texts.anyone, {}, view.choice.Empty());
  if (!view.senders.empty()) menu->addSeparator();
  for (const receiver::HeardSender& sender : view.senders) {
    const std::string& name = sender.announcement.name;
    add(SenderEntryText(sender, texts), name, view.choice.name == name && !name.empty());
  }
  return menu;
}

std::string RememberedSender() {
  return Settings().value(kSenderKey).toString().toStdString();
}

void RememberSender(const std::string& name) {
  Settings().setValue(kSenderKey, QString::fromStdString(name));
}

}  // namespace vantorel::receiver::app
