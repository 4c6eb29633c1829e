#include "receiver_test_support.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCursor>
#include <QImage>
#include <QPixmap>
#include <QTest>

#include <filesystem>

#include "platform/net/udp_socket.h"
#include "ui/skin/video_widget.h"

namespace vantorel::receiver::app::testing {
namespace {

// The window tests close windows and go on: the last one closing must not make the application
// quit, which would end every event loop that runs after it.
class KeepRunningAfterTheLastWindow : public ::testing::Environment {
 public:
  void SetUp() override { QApplication::setQuitOnLastWindowClosed(false); }
};
// Google Test owns the environment.
[[maybe_unused]] ::testing::Environment* const kKeepRunning =
    ::testing::AddGlobalTestEnvironment(new KeepRunningAfterTheLastWindow);

}  // namespace

std::uint16_t FreeLoopbackPort() {
  net::UdpSocket probe;
  if (!probe.Bind(net::Endpoint{net::kLoopbackAddress, 0})) return 0;
  const auto local = probe.LocalEndpoint();
  return local ? local->port : 0;
}

std::string TestMedia(const char* name) {
  const std::filesystem::path path = std::filesystem::path(VANTOREL_TEST_MEDIA_DIR) / name;
  return std::filesystem::exists(path) ? path.string() : std::string();
}

namespace {

ReceiverWindowOptions OnLoopback(std::uint16_t port) {
  ReceiverWindowOptions options;
  options.receive = {port, net::kLoopbackAddress, net::kLoopbackAddress, {}};
  options.audioNote = AudioNote::kSilent;
  return options;
}

}  // namespace

LoopbackReceiver::LoopbackReceiver(std::uint16_t port, QSize size, Pictures pictures,
                                   const std::string& loopbackInterface,
                                   std::filesystem::path trustedSendersFile) {
  ReceiverWindowOptions options = OnLoopback(port);
  if (!loopbackInterface.empty()) {
    options.receive.bindAddress = net::kAnyAddress;
    options.receive.interfaceName = loopbackInterface;
  }
  options.trustedSendersFile = std::move(trustedSendersFile);
  const auto library = pictures == Pictures::kLibrary
                           ? skin::ResourceLibrary::Load(QStringLiteral(VANTOREL_RESDLL_PATH))
                           : nullptr;
  Open(std::move(options), library.get(), size);
}

LoopbackReceiver::LoopbackReceiver(std::uint16_t port,
                                   const std::function<void(ReceiverWindowOptions&)>& adjust) {
  ReceiverWindowOptions options = OnLoopback(port);
  adjust(options);
  const auto library = skin::ResourceLibrary::Load(QStringLiteral(VANTOREL_RESDLL_PATH));
  Open(std::move(options), library.get(), {});
}

void LoopbackReceiver::Open(ReceiverWindowOptions options, const skin::ResourceLibrary* library,
                            QSize size) {
  const std::filesystem::path folder = languageFolder_.path().toStdString();
  languages_ =
      std::make_unique<lang::LanguageManager>(lang::LanguageFolders{folder, folder}, nullptr);
  options.languages = languages_.get();
  window_ = std::make_unique<ReceiverMainWindow>(library, options);
  if (size.isValid()) window_->resize(size);
  window_->ShowAtStart();
  // The offscreen pointer starts at (10, 10), on the video of a window shown there, where it
  // would ask for the figures. It crosses the video and leaves the window (a leave needs an
  // enter first) so that no test finds it resting there unasked.
  if (QTest::qWaitForWindowExposed(window_.get())) {
    QTest::mouseMove(window_.get(), window_->Video().geometry().center());
    QCursor::setPos(window_->mapToGlobal(QPoint(window_->width(), window_->height()) * 2));
    QCoreApplication::processEvents();
  }
}

LoopbackSender::LoopbackSender(std::uint16_t port, std::uint8_t session,
                               std::optional<protocol::SigningKey> identity)
    : sink_(port, net::kLoopbackAddress),
      signer_(identity ? std::make_unique<sender::SigningSink>(sink_, std::move(*identity))
                       : nullptr),
      notices_(this),
      session_(session) {}

LoopbackSender::~LoopbackSender() {
  Finish();
}

bool LoopbackSender::Start(const std::string& path) {
  player_ = std::make_unique<sender::SenderSession>(
      session_, signer_ ? static_cast<protocol::PacketSink*>(signer_.get()) : &sink_,
      media::GraphOptions{media::OutputMode::kNullSinks, nullptr});
  if (FAILED(player_->Open(&notices_, path)) || !player_->IsStreaming()) {
    player_.reset();
    return false;
  }
  player_->Play();
  return true;
}

void LoopbackSender::Pause(bool paused) {
  paused_ = paused;
  if (!player_) return;
  if (paused) {
    player_->Pause();
  } else {
    player_->Play();
  }
}

void LoopbackSender::Announce(const std::string& name, protocol::SenderState state,
                              const std::string& title) {
  if (!announcer_) announcer_ = std::make_unique<sender::Announcer>(sink_, name);
  announcer_->SetName(name);
  announcer_->Set(state, protocol::SenderSource::kFile, title, session_);
  announcer_->Tick();
}

void LoopbackSender::Finish() {
  if (!player_) return;
  player_->Close();
  player_.reset();
  if (signer_) {
    const protocol::Buffer end = protocol::MakeBuffer(sender::kEndOfBroadcastValue.data(), 4);
    signer_->SignAhead(protocol::kRouteKeyEndOfBroadcast, {&end, 1}, 3);
  }
  sink_.SendEndOfBroadcast();
  notices_.RemovePosted();
}

// At the end of the file the session stops; playing again starts from the beginning.
bool LoopbackSender::event(QEvent* e) {
  if (gui::PostedEvent<sender::GraphNotice>::From(e) == nullptr) return QObject::event(e);
  if (!player_) return true;
  const std::uint64_t completes = player_->EventCounts().completes;
  player_->HandleGraphEvents();
  if (player_->EventCounts().completes > completes) player_->Play();
  return true;
}

int BrightPixelsInVideoArea(ReceiverMainWindow& window) {
  const QImage shot = window.grab().toImage();
  const skin::Rect area = window.VideoArea();
  int bright = 0;
  for (int y = area.top; y < area.bottom; ++y) {
    for (int x = area.left; x < area.right; ++x) {
      // The status line's text is light grey: only near-white pixels are picture.
      if (qGray(shot.pixel(x, y)) > 240) ++bright;
    }
  }
  return bright;
}

}  // namespace vantorel::receiver::app::testing
