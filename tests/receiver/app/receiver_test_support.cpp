#include "receiver_test_support.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QPixmap>

#include <filesystem>

#include "platform/net/udp_socket.h"

namespace vantorel::receiver_app::testing {
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

LoopbackReceiver::LoopbackReceiver(std::uint16_t port, QSize size, Pictures pictures,
                                   const std::string& loopbackInterface,
                                   std::filesystem::path trustedSendersFile) {
  const std::filesystem::path folder = languageFolder_.path().toStdString();
  languages_ =
      std::make_unique<lang::LanguageManager>(lang::LanguageFolders{folder, folder}, nullptr);
  ReceiverWindowOptions options;
  options.receive = {port, net::kLoopbackAddress, net::kLoopbackAddress, {}};
  if (!loopbackInterface.empty()) {
    options.receive.bindAddress = net::kAnyAddress;
    options.receive.interfaceName = loopbackInterface;
  }
  options.audioNote = AudioNote::kSilent;
  options.trustedSendersFile = std::move(trustedSendersFile);
  options.languages = languages_.get();
  const auto library = pictures == Pictures::kLibrary
                           ? skin::ResourceLibrary::Load(QStringLiteral(VANTOREL_RESDLL_PATH))
                           : nullptr;
  window_ = std::make_unique<ReceiverMainWindow>(library.get(), options);
  if (size.isValid()) window_->resize(size);
  window_->show();
}

LoopbackSender::LoopbackSender(std::uint16_t port, std::uint8_t session,
                               std::optional<protocol::SigningKey> identity)
    : sink_(port, net::kLoopbackAddress),
      signer_(identity ? std::make_unique<sender::SigningSink>(sink_, std::move(*identity))
                       : nullptr),
      handle_(this),
      session_(session) {}

LoopbackSender::~LoopbackSender() {
  Finish();
}

bool LoopbackSender::Start(const std::string& path) {
  player_ = std::make_unique<sender::SenderSession>(
      session_, signer_ ? static_cast<protocol::PacketSink*>(signer_.get()) : &sink_,
      media::GraphOptions{media::OutputMode::kNullSinks, nullptr});
  if (FAILED(player_->Open(&handle_, path)) || !player_->IsStreaming()) {
    player_.reset();
    return false;
  }
  player_->Play();
  return true;
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
  gui::RemovePostedMessages(this, gui::kMsgGraphEvent);
}

// At the end of the file the session stops; playing again starts from the beginning.
bool LoopbackSender::event(QEvent* e) {
  if (!gui::WindowMessageEvent::IsWindowMessage(e)) return QObject::event(e);
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

}  // namespace vantorel::receiver_app::testing
