// Lunnet's senders menu: the senders on the air, to choose the one to watch, and the first
// sender heard (no choice). A choice is made by name, so it holds when that sender starts again
// under another port, and it is remembered for the next start.
#pragma once

#include <QString>

#include <functional>
#include <memory>
#include <string>

#include "receiver/reception.h"

class QMenu;
class QWidget;

namespace vantorel::receiver::app {

// The texts the menu needs, in the window's language.
struct SendersMenuTexts {
  QString title;    // the menu's own entry
  QString anyone;   // the first sender heard
  QString paused;   // after a paused sender's title
  QString stopped;  // after a stopped sender's title
};

// One sender's entry: "NAME · TITLE (paused) · ADDRESS"; what is unknown is left out.
QString SenderEntryText(const receiver::HeardSender& sender, const SendersMenuTexts& texts);

// A menu of `view`'s senders on the air, the chosen one checked; choosing an entry calls
// `choose` with its name (empty: the first sender heard).
std::unique_ptr<QMenu> BuildSendersMenu(const receiver::ReceptionView& view,
                                        const SendersMenuTexts& texts,
                                        std::function<void(const std::string&)> choose);

// The name chosen the last time (empty: none), and keeping a new one.
std::string RememberedSender();
void RememberSender(const std::string& name);

}  // namespace vantorel::receiver::app
