#include "receiver/receive_socket.h"

namespace vantorel::receiver {

ReceiveSocket::ReceiveSocket(ReceiveOwner& owner, ReceiveOptions options) {
  if (!Open(options)) {
    socket_.Close();
    return;
  }
  thread_ = std::make_unique<ReceiveThread>(
      owner, socket_, net::Endpoint{options.wakeAddress, localPort_}, options.queueLimits,
      options.senderSilence, options.useParity, options.lock, options.preference);
}

ReceiveSocket::~ReceiveSocket() {
  Stop();
}

void ReceiveSocket::Stop() {
  if (thread_) {
    thread_->Stop();
    final_ = thread_->Stats();
    thread_.reset();
  }
  socket_.Close();
}

bool ReceiveSocket::Open(const ReceiveOptions& options) {
  if (!socket_.Valid() || !socket_.SetBroadcast(true)) return false;
  // Several receivers on one machine (a program and the listening tool) may share the port;
  // each gets every broadcast.
  socket_.SetReuseAddress(true);
  // A group another program of the host joined on this port is not this receiver's.
  socket_.SetMulticastAll(false);
  unsigned interfaceIndex = 0;
  if (!options.interfaceName.empty()) {
    const std::optional<net::NetworkInterface> device = net::FindInterface(options.interfaceName);
    if (!device || !socket_.BindToDevice(device->name)) return false;
    interfaceIndex = device->index;
  }
  // Bound to the port on every address even with a group, so broadcasts still arrive.
  if (!socket_.Bind(net::Endpoint{options.bindAddress, options.port})) return false;
  if (options.group != net::kAnyAddress && !socket_.JoinGroup(options.group, interfaceIndex)) {
    return false;
  }
  auto local = socket_.LocalEndpoint();
  if (!local) return false;
  interfaceIndex_ = interfaceIndex;
  localPort_ = local->port;
  socket_.SetReceiveBuffer(kReceiveBufferBytes);
  return true;
}

}  // namespace vantorel::receiver
