// Lunnet's status line over the video and its figures: what the reception does, in words of
// the window's language, and the mark beside them.
#include <QStringList>

#include "receiver/app/receiver_main_window.h"
#include "receiver/app/receiver_strings.h"
#include "ui/skin/video_widget.h"

namespace vantorel::receiver::app {

using Clock = std::chrono::steady_clock;

struct ReceiverMainWindow::Status {
  QString text;
  skin::StatusIcon icon;
};

void ReceiverMainWindow::ShowStatus() {
  const QString port = QString::number(options_.receive.port);
  if (!reception_->Listening()) {
    video_->SetStatus(Text(kIdsStatusCannotListen).arg(port), skin::StatusIcon::kWarning);
    return;
  }
  const QString level = volume_.ShownText(Text(kIdsVolume), Text(kIdsMuted));
  if (!level.isEmpty()) {
    video_->SetStatus(level, skin::StatusIcon::kSound);
    return;
  }
  const receiver::ReceptionView view = reception_->View();
  status_.SetAudioOnly(view.audioOnly);
  status_.SetAnnounced(
      view.announced ? std::optional<receiver::ReceptionStatus::Announced>(
                           {view.announced->announcement.name, view.announced->announcement.state})
                     : std::nullopt);
  status_.SetWaitingFor(view.chosen ? view.chosen->announcement.name : std::string());
  status_.SetSendersOnAir(static_cast<int>(view.senders.size()), Clock::now());
  // A pointer hidden on a full screen rests there unattended: it asks for nothing.
  status_.SetHover(video_->underMouse() && !pointerHidden_);
  const receiver::StatusLine line = status_.Current(Clock::now());
  Status shown = StatusFor(line, port);
  if (line.kind != receiver::StatusKind::kNone && line.sendersOnAir > 1) {
    shown.text += QLatin1Char('\n') + Text(kIdsStatusSendersOnAir).arg(line.sendersOnAir);
  }
  // The figures keep the note themselves.
  if (line.kind != receiver::StatusKind::kStatistics && Clock::now() < audioNoteUntil_) {
    if (!shown.text.isEmpty()) shown.text += QLatin1Char('\n');
    shown.text += Text(kIdsNoAudioDevice);
    if (shown.icon == skin::StatusIcon::kNone) shown.icon = skin::StatusIcon::kWarning;
  }
  video_->SetStatus(shown.text, shown.icon);
}

ReceiverMainWindow::Status ReceiverMainWindow::StatusFor(const receiver::StatusLine& line,
                                                         const QString& port) const {
  switch (line.kind) {
    case receiver::StatusKind::kNone:
      break;
    case receiver::StatusKind::kWaiting: {
      QString text =
          line.sender.empty()
              ? Text(kIdsStatusWaiting).arg(port)
              : Text(kIdsStatusWaitingFor).arg(QString::fromStdString(line.sender), port);
      // On a host with several addresses, or on a chosen interface, which ones a sender can
      // reach.
      const bool chosen = !options_.receive.interfaceName.empty();
      if ((addresses_.size() > 1 || (chosen && !addresses_.empty())) &&
          options_.receive.bindAddress == net::kAnyAddress) {
        QStringList list;
        for (const std::string& a : addresses_) list << QString::fromStdString(a);
        text += QLatin1Char('\n') + Text(kIdsStatusListeningOn).arg(list.join(QLatin1String(", ")));
      }
      return {text + TrustLine(), skin::StatusIcon::kWaiting};
    }
    case receiver::StatusKind::kReceiving:
      return {Text(kIdsStatusReceiving).arg(SenderShown(line.sender)) + TrustLine(),
              skin::StatusIcon::kReceiving};
    case receiver::StatusKind::kNoSignal:
      return {Text(kIdsStatusNoSignal).arg(line.silentSeconds), skin::StatusIcon::kWarning};
    case receiver::StatusKind::kPaused:
    case receiver::StatusKind::kStopped: {
      // A pause or a stop the sender told of is no fault: the quiet mark.
      const int said =
          line.kind == receiver::StatusKind::kPaused ? kIdsStatusPaused : kIdsStatusStopped;
      return {Text(said).arg(QString::fromStdString(line.sender)), skin::StatusIcon::kWaiting};
    }
    case receiver::StatusKind::kEnded:
      return {Text(kIdsStatusEnded) + TrustLine(), skin::StatusIcon::kWaiting};
    case receiver::StatusKind::kAudioOnly:
      return {Text(kIdsStatusAudioOnly), skin::StatusIcon::kSound};
    case receiver::StatusKind::kStatistics:
      return {StatisticsText(line.sender), skin::StatusIcon::kReceiving};
  }
  return {QString(), skin::StatusIcon::kNone};
}

bool ReceiverMainWindow::AudioNoteShown() const {
  return audioNoted_ && options_.audioNote == AudioNote::kShow;
}

// The sender, the formats of its streams, the bit rate, and what was lost on the way.
QString ReceiverMainWindow::StatisticsText(const std::string& sender) const {
  QStringList lines{Text(kIdsStatusReceiving).arg(SenderShown(sender)) + TrustLine()};
  QStringList formats;
  for (const std::string& format : reception_->View().formats) {
    formats << QString::fromStdString(format);
  }
  if (!formats.isEmpty()) lines << formats.join(QStringLiteral(" · "));
  lines << Text(kIdsStatisticsRate).arg(bitRate_.BitsPerSecond() / 1e6, 0, 'f', 2);
  const receiver::ReceptionTotals totals = reception_->Totals();
  const receiver::ReassemblyStats& r = totals.reassembly;
  const receiver::ReceiveStats& t = totals.receive;
  const std::uint64_t dropped =
      r.Dropped() + t.queueOverflow + t.oversized + t.malformed + t.postFailed + t.discarded;
  lines << Text(kIdsStatisticsCounts)
               .arg(QString::number(totals.LostMessages()), QString::number(totals.fec.recovered),
                    QString::number(dropped));
  const receiver::TrustStats& trust = totals.trust;
  if (trust.Refused() != 0 || reception_->View().trustedOnly) {
    lines << Text(kIdsStatisticsTrust)
                 .arg(QString::number(trust.unsignedDropped), QString::number(trust.badSignature),
                      QString::number(trust.replayed), QString::number(trust.untrusted));
  }
  if (AudioNoteShown()) lines << Text(kIdsNoAudioDevice);
  return lines.join(QLatin1Char('\n'));
}

// Under the waiting and receiving lines: that only trusted senders are received, or who signs
// what is received and how to trust it.
QString ReceiverMainWindow::TrustLine() const {
  const receiver::ReceptionView view = reception_->View();
  if (view.trustedOnly) return QLatin1Char('\n') + Text(kIdsStatusTrustedOnly);
  if (view.fingerprint && view.sender) {
    return QLatin1Char('\n') +
           Text(kIdsStatusSignedBy).arg(QString::fromStdString(view.fingerprint->Text())) +
           QStringLiteral("\nT: ") + Text(kIdsTrustMenu);
  }
  return {};
}

QString ReceiverMainWindow::SenderShown(const std::string& address) const {
  const receiver::ReceptionView view = reception_->View();
  if (!view.announced) return QString::fromStdString(address);
  return QStringLiteral("%1 (%2)").arg(QString::fromStdString(view.announced->announcement.name),
                                       QString::fromStdString(address));
}

}  // namespace vantorel::receiver::app
