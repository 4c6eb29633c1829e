// Lunnet's window held up: the real window receives on 127.0.0.1:PORT while a cast sends to it;
// once the first pictures play, its thread is held for HOLD_MS (as a modal box or a slow repaint
// would hold it), then it runs on for SECONDS and prints what the reception lost meanwhile.
//   window_hold PORT HOLD_MS SECONDS
#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "platform/net/udp_socket.h"
#include "receiver/app/receiver_main_window.h"
#include "ui/lang/language_manager.h"

using namespace vantorel;

namespace {

void RunEventsFor(std::chrono::milliseconds span) {
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < span.count()) {
    QApplication::processEvents(QEventLoop::AllEvents, 10);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 4) {
    std::fprintf(stderr, "usage: window_hold PORT HOLD_MS SECONDS\n");
    return 2;
  }
  const auto port = static_cast<std::uint16_t>(std::atoi(argv[1]));
  const std::chrono::milliseconds hold{std::atoi(argv[2])};
  const std::chrono::seconds run{std::atoi(argv[3])};

  QTemporaryDir languageFolder;
  const std::filesystem::path folder = languageFolder.path().toStdString();
  lang::LanguageManager languages(lang::LanguageFolders{folder, folder}, nullptr);
  receiver::app::ReceiverWindowOptions options;
  options.receive = {port, net::kLoopbackAddress, net::kLoopbackAddress, {}};
  options.audioNote = receiver::app::AudioNote::kSilent;
  options.languages = &languages;
  receiver::app::ReceiverMainWindow window(nullptr, options);
  window.show();

  QElapsedTimer waited;
  waited.start();
  while (!window.Reception().session) {
    if (waited.elapsed() > 20000) {
      std::fprintf(stderr, "window_hold: nothing heard in 20 s\n");
      return 1;
    }
    RunEventsFor(std::chrono::milliseconds(20));
  }
  RunEventsFor(std::chrono::milliseconds(500));
  const receiver::ReceptionTotals before = window.Totals();
  std::this_thread::sleep_for(hold);
  RunEventsFor(run);
  const receiver::ReceptionTotals after = window.Totals();
  std::printf(
      "held-ms=%lld datagrams=%llu delivered-messages=%llu queue-overflow=%llu discarded=%llu "
      "lost-messages=%llu\n",
      static_cast<long long>(hold.count()),
      static_cast<unsigned long long>(after.receive.datagrams - before.receive.datagrams),
      static_cast<unsigned long long>(after.reassembly.delivered - before.reassembly.delivered),
      static_cast<unsigned long long>(after.receive.queueOverflow),
      static_cast<unsigned long long>(after.receive.discarded),
      static_cast<unsigned long long>(after.LostMessages()));
  return 0;
}
