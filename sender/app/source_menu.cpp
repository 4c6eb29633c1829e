#include "sender/app/source_menu.h"

#include <QAction>
#include <QActionGroup>
#include <QFontMetrics>
#include <QMenu>
#include <QMetaObject>

#include "sender/app/string_table.h"

namespace vantorel::sender::app {
namespace {

// Window titles longer than this lose their middle.
constexpr int kTitleWidth = 360;

// A name shown as it is: an '&' is no shortcut mark.
QString Entry(const QMenu& menu, const std::string& name) {
  QString text = QFontMetrics(menu.font())
                     .elidedText(QString::fromStdString(name), Qt::ElideMiddle, kTitleWidth);
  return text.replace(QLatin1Char('&'), QStringLiteral("&&"));
}

QAction* AddEntry(QMenu& menu, const QString& text, QObject& receiver, std::function<void()> run) {
  QAction* action = menu.addAction(text);
  QObject::connect(action, &QAction::triggered, &receiver, [&receiver, run = std::move(run)] {
    QMetaObject::invokeMethod(&receiver, run, Qt::QueuedConnection);
  });
  return action;
}

QAction* AddToggle(QMenu& menu, const QString& text, bool checked, bool enabled, QObject& receiver,
                   std::function<void()> run) {
  QAction* action = AddEntry(menu, text, receiver, std::move(run));
  action->setCheckable(true);
  action->setChecked(checked);
  action->setEnabled(enabled);
  return action;
}

// One of the entries of a submenu is on the air at most: they show as a choice of one.
void MakeChoiceOfOne(QMenu& menu) {
  auto* group = new QActionGroup(&menu);
  for (QAction* action : menu.actions()) {
    if (action->isCheckable()) group->addAction(action);
  }
}

void FillScreens(QMenu& menu, const SourceMenuState& state, const SourceMenuActions& actions,
                 const QString& wholeScreen, QObject& receiver) {
  const bool screenOnAir = state.onAir && state.onAir->video == sender::LiveVideo::kScreen;
  const auto onAir = [&](std::uint64_t window) {
    return screenOnAir && state.onAir->window == window;
  };
  AddToggle(menu, wholeScreen, onAir(0), true, receiver, [actions] { actions.screen(0); });
  if (!state.windows.empty()) menu.addSeparator();
  for (const sender::gst::CaptureWindow& window : state.windows) {
    const std::uint64_t id = window.id;
    AddToggle(menu, Entry(menu, window.title), onAir(id), true, receiver,
              [actions, id] { actions.screen(id); });
  }
  MakeChoiceOfOne(menu);
}

void FillCameras(QMenu& menu, const SourceMenuState& state, const SourceMenuActions& actions,
                 const QString& noCamera, QObject& receiver) {
  if (state.cameras.empty()) {
    menu.addAction(noCamera)->setEnabled(false);
    return;
  }
  const bool cameraOnAir = state.onAir && state.onAir->video == sender::LiveVideo::kCamera;
  for (const sender::gst::CaptureDevice& camera : state.cameras) {
    AddToggle(menu, Entry(menu, camera.name), cameraOnAir && state.onAir->camera == camera.device,
              true, receiver, [actions, camera] { actions.camera(camera); });
  }
  MakeChoiceOfOne(menu);
}

}  // namespace

void FillSourceMenu(QMenu& menu, const SourceMenuState& state, const SourceMenuActions& actions,
                    const std::function<QString(int id)>& text, QObject& receiver) {
  // The submenus of the last filling are children of the menu, which clear() leaves.
  for (QMenu* old : menu.findChildren<QMenu*>(Qt::FindDirectChildrenOnly)) delete old;
  menu.clear();
  AddEntry(menu, text(IDS_OPEN_FOLDER), receiver, actions.openFolder);
  menu.addSeparator();
  FillScreens(*menu.addMenu(text(IDS_BROADCAST_SCREEN)), state, actions, text(IDS_WHOLE_SCREEN),
              receiver);
  FillCameras(*menu.addMenu(text(IDS_BROADCAST_CAMERA)), state, actions, text(IDS_NO_CAMERA),
              receiver);
  const bool microphone = state.onAir && state.onAir->microphone;
  AddToggle(menu, text(IDS_ADD_MICROPHONE), microphone, state.microphoneAllowed, receiver,
            actions.toggleMicrophone);
  AddToggle(menu, text(IDS_MUTE_MICROPHONE), state.microphoneMuted, microphone, receiver,
            actions.toggleMute);
  menu.addSeparator();
  AddToggle(menu, text(IDS_SHOW_LIST), state.listShown, true, receiver, actions.toggleList);
  AddToggle(menu, text(IDS_LOOP_LIST), state.loop, true, receiver, actions.toggleLoop);
}

}  // namespace vantorel::sender::app
