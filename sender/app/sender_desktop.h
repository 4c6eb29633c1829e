// What the sender's window asks of the desktop: the file dialog, message boxes, the about box
// and the browser. Tests put their own in place so that nothing blocks or starts a browser.
#pragma once

#include <QString>
#include <QStringList>

#include <optional>
#include <string_view>

class QWidget;

namespace vantorel::lang {
class LanguageManager;
}

namespace vantorel::sender::app {

enum class MessageIcon { kError, kExclamation, kInformation };

class SenderDesktop {
 public:
  virtual ~SenderDesktop() = default;
  // The chosen files' full paths, one or several; empty when the user cancels. `filter` is in
  // the dialog's form (FileDialogFilter).
  virtual QStringList ChooseFilesToOpen(QWidget* parent, const QString& filter) = 0;
  // The chosen folder's full path; empty when the user cancels.
  virtual QString ChooseFolderToOpen(QWidget* parent) = 0;
  // A modal message box with one OK button; `detail`, when not empty, is a second line under
  // the text (already in the chosen language).
  virtual void ShowMessage(QWidget* parent, const QString& text, MessageIcon icon,
                           const QString& detail) = 0;
  // A note that does not wait for the user.
  virtual void ShowNote(QWidget* parent, const QString& text) = 0;
  // `signing` says who signs the broadcasts (a line under the program's description).
  virtual void ShowAbout(QWidget* parent, const QString& signing) = 0;
  // Opens a page or address with the default browser; 1 when it was started.
  virtual int OpenWithBrowser(std::string_view argument) = 0;
  // The name the user gave the sender last time; empty: none.
  virtual QString RememberedName() = 0;
  // Asks for the name receivers list the sender by, starting from `current`, and remembers
  // it; nothing when the user cancels.
  virtual std::optional<QString> AskName(QWidget* parent, const QString& current) = 0;
  // Whether the list of files starts again after its last one, as the user left it.
  virtual bool RememberedLoop() = 0;
  virtual void RememberLoop(bool loop) = 0;
};

// The real dialogs and the real browser. Each box is translated, like every dialog, before it
// shows.
class QtSenderDesktop : public SenderDesktop {
 public:
  // `languages` is not owned.
  explicit QtSenderDesktop(lang::LanguageManager& languages) : languages_(languages) {}
  QStringList ChooseFilesToOpen(QWidget* parent, const QString& filter) override;
  QString ChooseFolderToOpen(QWidget* parent) override;
  void ShowMessage(QWidget* parent, const QString& text, MessageIcon icon,
                   const QString& detail) override;
  void ShowNote(QWidget* parent, const QString& text) override;
  void ShowAbout(QWidget* parent, const QString& signing) override;
  int OpenWithBrowser(std::string_view argument) override;
  QString RememberedName() override;
  std::optional<QString> AskName(QWidget* parent, const QString& current) override;
  bool RememberedLoop() override;
  void RememberLoop(bool loop) override;

 private:
  lang::LanguageManager& languages_;
};

}  // namespace vantorel::sender::app
