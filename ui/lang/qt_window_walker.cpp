#include "ui/lang/qt_window_walker.h"

#include <QAbstractButton>
#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QMenu>
#include <QThread>
#include <QTranslator>
#include <QWidget>

#include <QWidgetAction>
#include <filesystem>
#include <map>
#include <memory>

#include "platform/profile/ini_text.h"
#include "ui/tool_tip_registry.h"

namespace vantorel::lang {
namespace {

using ui::ToolTipRegistry;

// One pass over the windows; each widget and each action is translated once even when it is
// reached twice (a menu is a window of its own and also an item's submenu).
class Pass {
 public:
  explicit Pass(LanguageManager& manager) : manager_(manager) {}

  void Window(QWidget* window);

 private:
  template <typename Set>
  void Translate(const QString& text, Set&& set) {
    if (text.isEmpty()) return;
    if (auto translated = manager_.TranslateText(ToProfileText(text))) {
      set(QString::fromUtf8(translated->data(), static_cast<qsizetype>(translated->size())));
    }
  }

  void Widget(QWidget* widget);
  void WidgetText(QWidget* widget);
  void Actions(const QList<QAction*>& actions);
  void ToolTipTools(ToolTipRegistry& registry);

  LanguageManager& manager_;
  QSet<QWidget*> widgetsDone_;
  QSet<QAction*> actionsDone_;
};

// Separators, widget items and radio items keep their text, as do items without text.
bool IsPlainTextItem(const QAction* action) {
  if (action->isSeparator() || qobject_cast<const QWidgetAction*>(action) != nullptr) return false;
  const QActionGroup* group = action->actionGroup();
  return !(action->isCheckable() && group != nullptr &&
           group->exclusionPolicy() != QActionGroup::ExclusionPolicy::None);
}

void Pass::Window(QWidget* window) {
  if (widgetsDone_.contains(window)) return;
  Widget(window);
  for (QWidget* child : window->findChildren<QWidget*>()) Widget(child);
}

// A window among the descendants (a dialog with a parent) is a window all the same.
void Pass::Widget(QWidget* widget) {
  if (widgetsDone_.contains(widget)) return;
  widgetsDone_.insert(widget);
  if (widget->isWindow()) {
    Translate(widget->windowTitle(), [widget](const QString& t) { widget->setWindowTitle(t); });
    if (auto* registry = dynamic_cast<ToolTipRegistry*>(widget)) ToolTipTools(*registry);
  }
  Actions(widget->actions());
  WidgetText(widget);
  Translate(widget->toolTip(), [widget](const QString& t) { widget->setToolTip(t); });
}

void Pass::WidgetText(QWidget* widget) {
  if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
    Translate(button->text(), [button](const QString& t) { button->setText(t); });
  } else if (auto* label = qobject_cast<QLabel*>(widget)) {
    Translate(label->text(), [label](const QString& t) { label->setText(t); });
  } else if (auto* group = qobject_cast<QGroupBox*>(widget)) {
    Translate(group->title(), [group](const QString& t) { group->setTitle(t); });
  } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
    Translate(edit->text(), [edit](const QString& t) { edit->setText(t); });
  } else if (auto* combo = qobject_cast<QComboBox*>(widget)) {
    // An editable combo box shows the text of its line edit, which is a child of its own.
    const int index = combo->currentIndex();
    if (combo->isEditable() || index < 0) return;
    Translate(combo->itemText(index),
              [combo, index](const QString& t) { combo->setItemText(index, t); });
  }
}

void Pass::Actions(const QList<QAction*>& actions) {
  for (QAction* action : actions) {
    if (actionsDone_.contains(action)) continue;
    actionsDone_.insert(action);
    if (IsPlainTextItem(action)) {
      Translate(action->text(), [action](const QString& t) { action->setText(t); });
    }
    if (QMenu* submenu = action->menu()) Window(submenu);
  }
}

void Pass::ToolTipTools(ToolTipRegistry& registry) {
  const int count = registry.ToolTipCount();
  for (int index = 0; index < count; ++index) {
    Translate(registry.ToolTipText(index),
              [&registry, index](const QString& t) { registry.SetToolTipText(index, t); });
  }
}

}  // namespace

std::string ToProfileText(const QString& text) {
  QByteArray bytes = text.toUtf8();
  qsizetype size = std::min<qsizetype>(bytes.size(), profile::kProfileTextSize - 1);
  // Back off over continuation bytes so that the cut falls between characters.
  if (size < bytes.size()) {
    while (size > 0 && (static_cast<unsigned char>(bytes[size]) & 0xC0) == 0x80) --size;
  }
  return std::string(bytes.constData(), static_cast<std::size_t>(size));
}

namespace {

// The toolkit's own texts (the file dialog, standard buttons) follow the chosen language
// through its translations, for the languages we ship.
QString ToolkitLocaleFor(const std::filesystem::path& languageFile) {
  static const std::map<std::string, QString> kLocales{
      {"German", QStringLiteral("de")},
      {"French", QStringLiteral("fr")},
      {"Spanish", QStringLiteral("es")},
      {"ChineseSimplified", QStringLiteral("zh_CN")}};
  const auto it = kLocales.find(languageFile.stem().string());
  return it == kLocales.end() ? QString() : it->second;
}

void FollowWithToolkitTexts(const std::filesystem::path& languageFile) {
  static std::unique_ptr<QTranslator> installed;
  static QString installedLocale;
  const QString locale = ToolkitLocaleFor(languageFile);
  if (locale == installedLocale) return;
  if (installed) QCoreApplication::removeTranslator(installed.get());
  installed.reset();
  installedLocale = locale;
  if (locale.isEmpty()) return;
  auto translator = std::make_unique<QTranslator>();
  if (!translator->load(QStringLiteral("qtbase_") + locale,
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    return;
  }
  QCoreApplication::installTranslator(translator.get());
  installed = std::move(translator);
}

}  // namespace

void QtWindowWalker::WalkAllWindows(LanguageManager& manager) {
  FollowWithToolkitTexts(manager.CurrentFile());
  Pass pass(manager);
  for (QWidget* window : QApplication::topLevelWidgets()) {
    if (window->thread() == QThread::currentThread()) pass.Window(window);
  }
}

}  // namespace vantorel::lang
