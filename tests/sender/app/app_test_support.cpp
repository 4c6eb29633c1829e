#include "tests/sender/app/app_test_support.h"

#include <array>
#include <cstdlib>
#include <span>

#include "protocol/wire_format.h"

namespace vantorel::testing {

QStringList FakeDesktop::ChooseFilesToOpen(QWidget*, const QString& filter) {
  filters.push_back(filter);
  if (choices.empty()) return {};
  const std::optional<QStringList> choice = choices.front();
  choices.pop_front();
  return choice.value_or(QStringList());
}

QString FakeDesktop::ChooseFolderToOpen(QWidget*) {
  if (folders.empty()) return {};
  const QString folder = folders.front();
  folders.pop_front();
  return folder;
}

void FakeDesktop::ShowMessage(QWidget*, const QString& text, sender::app::MessageIcon icon,
                              const QString& detail) {
  messages.push_back({text, icon, detail});
}

int FakeDesktop::OpenWithBrowser(std::string_view argument) {
  browsed.emplace_back(argument);
  return browserStarts;
}

DatagramCapture::DatagramCapture() {
  socket_.Bind(net::Endpoint{net::kLoopbackAddress, 0});
  socket_.SetReceiveBuffer(8 << 20);
  if (const auto local = socket_.LocalEndpoint()) port_ = local->port;
  thread_ = std::thread([this] { Receive(); });
}

DatagramCapture::~DatagramCapture() {
  socket_.ShutdownReceive();
  thread_.join();
}

void DatagramCapture::Receive() {
  std::vector<std::uint8_t> buffer(65536);
  std::array<std::uint8_t, 0> none{};
  for (;;) {
    const net::ReceiveResult r = socket_.ReceiveFrom(buffer, none);
    if (r.status == net::ReceiveStatus::kClosed || r.status == net::ReceiveStatus::kError) return;
    if (r.status != net::ReceiveStatus::kOk || r.length == 0) continue;
    std::lock_guard lock(lock_);
    datagrams_.emplace_back(buffer.begin(), buffer.begin() + static_cast<long>(r.length));
  }
}

std::vector<std::vector<std::uint8_t>> DatagramCapture::Datagrams() {
  std::lock_guard lock(lock_);
  return datagrams_;
}

bool DatagramCapture::WaitFor(
    const std::function<bool(const std::vector<std::vector<std::uint8_t>>&)>& done,
    std::chrono::milliseconds timeout) {
  return WaitUntil([&] { return done(Datagrams()); }, timeout);
}

std::uint32_t RouteKey(const std::vector<std::uint8_t>& d) {
  if (d.size() < 4) return 0;
  return static_cast<std::uint32_t>(d[0]) | (static_cast<std::uint32_t>(d[1]) << 8) |
         (static_cast<std::uint32_t>(d[2]) << 16) | (static_cast<std::uint32_t>(d[3]) << 24);
}

std::optional<protocol::Announcement> LastAnnouncement(DatagramCapture& capture) {
  const auto datagrams = capture.Datagrams();
  for (auto d = datagrams.rbegin(); d != datagrams.rend(); ++d) {
    if (RouteKey(*d) != protocol::kRouteKeyAnnouncement) continue;
    const auto view = protocol::ReadAnnouncement(std::span(*d).subspan(4));
    if (view) return view->announcement;
  }
  return std::nullopt;
}

QString TestMedia(const std::string& name) {
  const char* folder = std::getenv("VANTOREL_TEST_MEDIA");
  return QString::fromStdString(std::string(folder != nullptr ? folder : VANTOREL_TEST_MEDIA_DIR) +
                                "/" + name);
}

QString MakeToneWav(const QTemporaryDir& folder, const std::string& name, int milliseconds) {
  const std::string path = folder.filePath(QString::fromStdString(name)).toStdString();
  // 441 samples per buffer: one buffer is 10 ms at 44100 Hz.
  const std::string command =
      "gst-launch-1.0 -q audiotestsrc num-buffers=" + std::to_string(milliseconds / 10) +
      " samplesperbuffer=441 ! audio/x-raw,rate=44100,channels=1 ! "
      "wavenc ! filesink location='" +
      path + "' > /dev/null";
  if (std::system(command.c_str()) != 0) return {};
  return QString::fromStdString(path);
}

}  // namespace vantorel::testing
