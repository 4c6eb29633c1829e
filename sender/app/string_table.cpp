#include "sender/app/string_table.h"

#include <QStringList>

namespace vantorel::sender::app {
namespace {

constexpr ui::StringEntry kStrings[] = {
    {IDS_ABOUTBOX, "&About Strovan..."},
    {IDS_SOCKET_ERROR, "Windows Socket error"},
    {IDS_TIP_HELP, "Help of Vantorel"},
    {IDS_TIP_MINIMIZE, "Minimize Window"},
    {IDS_TIP_MAXIMIZE, "Maximize Window"},
    {IDS_TIP_CLOSE, "Exit from Vantorel"},
    {IDS_TIP_PLAY, "Broadcast"},
    {IDS_TIP_PAUSE, "Pause"},
    {IDS_TIP_STOP, "Stop"},
    {IDS_TIP_OPEN, "Open a media file and broadcast"},
    {IDS_TIP_SEEK, "Seek"},
    {IDS_UNSUPPORTED_FILE, "Does not support this file type."},
    {IDS_TIP_RESTORE, "Restore Window"},
    {IDS_TIP_LANGUAGE, "Choose a language"},
    {IDS_TIP_LOGO, "Open Vantorel's help page"},
    {IDS_TITLE, "Vantorel - [Strovan]"},
    {IDS_RESOURCE_ERROR, "Error: Can not load resource files."},
    {IDS_FILE_FILTER,
     "Media Files(All Types)|*.mpg; *.mpeg; *.dat; *.avi; *.asf; *.ivf; *.mp3; *.wav; *.wma; "
     "*.au; *.snd; *.mp4; *.mkv; *.webm|MPEG Files(*.mpg *.mpeg *.m1v)|*.mpg; *.mpeg; *.m1v|VCD "
     "Files(*.dat)|*.dat|"
     "AVI Files(*.avi)|*.avi|ASF Files(*.asf)|*.asf|Intel Video Files(*.ivf)|*.ivf|"
     "MP3 Files(*.mp3)|*.mp3|WAV Files(*.wav)|*.wav|WMA Files(*.wma)|*.wma|"
     "UNIX Audio Files(*.au *.snd)|*.au; *.snd|All Files (*.*)|*.*||"},
    // Message boxes carry the program's name as their title.
    {IDS_MESSAGE_TITLE, "Strovan"},
    {IDS_ABOUT_TITLE, "About Strovan"},
    {IDS_ABOUT_VERSION, "Strovan Version 1.0"},
    {IDS_ABOUT_TEXT, "Vantorel: live media broadcasting on a local network"},
    // Told once per run when the machine has no audio device; the broadcast goes on.
    {IDS_NO_AUDIO_DEVICE,
     "No audio device was found. The sound of the file is broadcast but not played here."},
    {IDS_STATUS_OPEN_HINT, "Open a media file, or drop one here"},
    {IDS_STATUS_AUDIO_ONLY, "Audio only"},
    {IDS_SIGNED_AS, "Signs its broadcasts as %1"},
    {IDS_UNSIGNED, "Broadcasts unsigned: receivers cannot tell it from another sender"},
    {IDS_FIGURES_SENT, "Sent %1 datagrams · parity %2 · signatures %3"},
    {IDS_PLAYABLE_FILES, "Every file this computer can play"},
    {IDS_VOLUME, "Volume %1%"},
    {IDS_MUTED, "Muted"},
    {IDS_HELP_NOT_OPENED, "No program opened the help page. Open it in a web browser: %1"},
    {IDS_NAME_MENU, "Sender &name..."},
    {IDS_NAME_TITLE, "Sender name"},
    {IDS_NAME_PROMPT, "The name receivers list this sender by:"},
    {IDS_SOURCE_MENU, "&Sources"},
    {IDS_BROADCAST_SCREEN, "Broadcast the screen"},
    {IDS_WHOLE_SCREEN, "Whole screen"},
    {IDS_BROADCAST_CAMERA, "Broadcast a camera"},
    {IDS_NO_CAMERA, "No camera found"},
    {IDS_ADD_MICROPHONE, "Add the microphone"},
    {IDS_MUTE_MICROPHONE, "Mute the microphone"},
    {IDS_OPEN_FOLDER, "Open a folder..."},
    {IDS_SHOW_LIST, "Show the list\tL"},
    {IDS_LOOP_LIST, "Loop the list"},
    {IDS_SKIPPED, "Skipped %1: %2"},
    {IDS_ON_AIR, "on air %1"},
    {IDS_LIVE_SCREEN, "Screen"},
    {IDS_LIVE_WINDOW, "Window"},
    {IDS_LIVE_CAMERA, "Camera: %1"},
    {IDS_LIVE_MICROPHONE, "Microphone"},
};

}  // namespace

const ui::StringTable& Strings() {
  static constexpr ui::StringTable table(kStrings);
  return table;
}

// The dialog takes the patterns from the last parentheses of each entry, so they are
// appended; a name that already ends with its patterns in parentheses loses them, so that they
// show once.
QString FileDialogFilter(const QString& filterList) {
  const QStringList parts = filterList.split(QLatin1Char('|'));
  QStringList filters;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QString name = parts[i].trimmed();
    if (name.isEmpty()) break;
    const qsizetype open = name.lastIndexOf(QLatin1Char('('));
    if (open > 0 && name.endsWith(QLatin1Char(')')) && name.indexOf(QLatin1Char('*'), open) > 0) {
      name = name.left(open).trimmed();
    }
    QStringList patterns;
    for (const QString& pattern : parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
      if (!pattern.trimmed().isEmpty()) patterns << pattern.trimmed();
    }
    filters << QStringLiteral("%1 (%2)").arg(name, patterns.join(QLatin1Char(' ')));
  }
  return filters.join(QStringLiteral(";;"));
}

QString WithPlayableEntry(const QString& filter, const QString& name,
                          const std::vector<std::string>& extensions) {
  if (extensions.empty()) return filter;
  QStringList patterns;
  for (const std::string& e : extensions)
    patterns << QStringLiteral("*.") + QString::fromStdString(e);
  QStringList filters = filter.split(QStringLiteral(";;"));
  filters.insert(std::min<qsizetype>(1, filters.size()),
                 QStringLiteral("%1 (%2)").arg(name, patterns.join(QLatin1Char(' '))));
  return filters.join(QStringLiteral(";;"));
}

}  // namespace vantorel::sender::app
