#include "platform/net/udp_socket.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/udp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <utility>

namespace vantorel::net {
namespace {

sockaddr_in ToSockaddr(const Endpoint& e) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(e.port);
  sa.sin_addr.s_addr = htonl(e.address);
  return sa;
}

Endpoint FromSockaddr(const sockaddr_in& sa) {
  return Endpoint{ntohl(sa.sin_addr.s_addr), ntohs(sa.sin_port)};
}

bool SetIntOption(int fd, int level, int name, int value) {
  return ::setsockopt(fd, level, name, &value, sizeof value) == 0;
}

// The gather lists of this system have at most a handful of parts.
constexpr std::size_t kMaxParts = 32;

}  // namespace

std::string Endpoint::ToString() const {
  return FormatIpv4(address) + ":" + std::to_string(port);
}

std::string FormatIpv4(std::uint32_t address) {
  in_addr a{};
  a.s_addr = htonl(address);
  char text[INET_ADDRSTRLEN] = {};
  ::inet_ntop(AF_INET, &a, text, sizeof text);
  return text;
}

std::optional<std::uint32_t> ParseIpv4(const std::string& text) {
  in_addr a{};
  if (::inet_pton(AF_INET, text.c_str(), &a) != 1) return std::nullopt;
  return ntohl(a.s_addr);
}

std::optional<std::uint32_t> ResolveIpv4(const std::string& name) {
  const auto isDigitOrDot = [](char c) { return c == '.' || (c >= '0' && c <= '9'); };
  const auto isHostChar = [](char c) {
    return c == '.' || c == '-' || c == '_' || (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') ||
           (c >= 'A' && c <= 'Z');
  };
  if (name.empty() || std::all_of(name.begin(), name.end(), isDigitOrDot) ||
      !std::all_of(name.begin(), name.end(), isHostChar)) {
    return std::nullopt;
  }
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* found = nullptr;
  if (::getaddrinfo(name.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) {
    return std::nullopt;
  }
  const auto* in = reinterpret_cast<const sockaddr_in*>(found->ai_addr);
  const std::uint32_t address = ntohl(in->sin_addr.s_addr);
  ::freeaddrinfo(found);
  return address;
}

namespace {

// The dotted IPv4 addresses of the interfaces that `keep` accepts.
template <typename Keep>
std::vector<std::string> Ipv4Addresses(Keep keep) {
  std::vector<std::string> addresses;
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) return addresses;
  for (const ifaddrs* i = list; i != nullptr; i = i->ifa_next) {
    if (i->ifa_addr == nullptr || i->ifa_addr->sa_family != AF_INET || !keep(*i)) continue;
    char text[INET_ADDRSTRLEN] = {};
    const auto* in = reinterpret_cast<const sockaddr_in*>(i->ifa_addr);
    if (::inet_ntop(AF_INET, &in->sin_addr, text, sizeof text) != nullptr) {
      addresses.emplace_back(text);
    }
  }
  ::freeifaddrs(list);
  return addresses;
}

}  // namespace

std::vector<std::string> LocalIpv4Addresses() {
  return Ipv4Addresses([](const ifaddrs& i) {
    return (i.ifa_flags & IFF_UP) != 0 && (i.ifa_flags & IFF_LOOPBACK) == 0;
  });
}

bool IsMulticast(std::uint32_t address) {
  return (address & 0xF0000000u) == 0xE0000000u;
}

std::optional<NetworkInterface> FindInterface(const std::string& name) {
  if (name.empty() || name.size() >= IFNAMSIZ) return std::nullopt;
  const unsigned index = ::if_nametoindex(name.c_str());
  if (index == 0) return std::nullopt;
  return NetworkInterface{name, index,
                          Ipv4Addresses([&name](const ifaddrs& i) { return name == i.ifa_name; })};
}

UdpSocket::UdpSocket() : fd_(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {}

UdpSocket::~UdpSocket() {
  Close();
}

UdpSocket::UdpSocket(UdpSocket&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

UdpSocket& UdpSocket::operator=(UdpSocket&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

bool UdpSocket::SetBroadcast(bool on) {
  return SetIntOption(fd_, SOL_SOCKET, SO_BROADCAST, on);
}
bool UdpSocket::SetReuseAddress(bool on) {
  return SetIntOption(fd_, SOL_SOCKET, SO_REUSEADDR, on);
}
bool UdpSocket::SetReceiveBuffer(int bytes) {
  return SetIntOption(fd_, SOL_SOCKET, SO_RCVBUF, bytes);
}

bool UdpSocket::SetMulticastTtl(int ttl) {
  return SetIntOption(fd_, IPPROTO_IP, IP_MULTICAST_TTL, ttl);
}

bool UdpSocket::SetMulticastInterface(unsigned interfaceIndex) {
  ip_mreqn request{};
  request.imr_ifindex = static_cast<int>(interfaceIndex);
  return ::setsockopt(fd_, IPPROTO_IP, IP_MULTICAST_IF, &request, sizeof request) == 0;
}

bool UdpSocket::JoinGroup(std::uint32_t group, unsigned interfaceIndex) {
  ip_mreqn request{};
  request.imr_multiaddr.s_addr = htonl(group);
  request.imr_ifindex = static_cast<int>(interfaceIndex);
  return ::setsockopt(fd_, IPPROTO_IP, IP_ADD_MEMBERSHIP, &request, sizeof request) == 0;
}

bool UdpSocket::SetMulticastAll(bool on) {
  return SetIntOption(fd_, IPPROTO_IP, IP_MULTICAST_ALL, on);
}

bool UdpSocket::BindToDevice(const std::string& interfaceName) {
  return ::setsockopt(fd_, SOL_SOCKET, SO_BINDTODEVICE, interfaceName.c_str(),
                      static_cast<socklen_t>(interfaceName.size())) == 0;
}

bool UdpSocket::Bind(const Endpoint& local) {
  sockaddr_in sa = ToSockaddr(local);
  return ::bind(fd_, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0;
}

std::optional<Endpoint> UdpSocket::LocalEndpoint() const {
  sockaddr_in sa{};
  socklen_t len = sizeof sa;
  if (::getsockname(fd_, reinterpret_cast<sockaddr*>(&sa), &len) != 0) return std::nullopt;
  return FromSockaddr(sa);
}

long UdpSocket::SendTo(const Endpoint& destination, std::span<const ConstBytes> parts) {
  if (parts.size() > kMaxParts) return -1;
  std::array<iovec, kMaxParts> iov{};
  for (std::size_t i = 0; i < parts.size(); ++i) {
    iov[i].iov_base = const_cast<void*>(parts[i].data);
    iov[i].iov_len = parts[i].size;
  }
  sockaddr_in sa = ToSockaddr(destination);
  msghdr msg{};
  msg.msg_name = &sa;
  msg.msg_namelen = sizeof sa;
  msg.msg_iov = iov.data();
  msg.msg_iovlen = parts.size();
  ssize_t sent;
  do {
    sent = ::sendmsg(fd_, &msg, MSG_NOSIGNAL);
  } while (sent < 0 && errno == EINTR);
  return static_cast<long>(sent);
}

long UdpSocket::SendSegments(const Endpoint& destination, std::span<const ConstBytes> parts,
                             std::size_t segmentSize) {
  if (parts.size() > kMaxBatchParts || segmentSize == 0 || segmentSize > kMaxUdpPayload) {
    errno = EINVAL;
    return -1;
  }
  std::array<iovec, kMaxBatchParts> iov;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    iov[i].iov_base = const_cast<void*>(parts[i].data);
    iov[i].iov_len = parts[i].size;
  }
  sockaddr_in sa = ToSockaddr(destination);
  alignas(cmsghdr) std::array<char, CMSG_SPACE(sizeof(std::uint16_t))> control{};
  msghdr msg{};
  msg.msg_name = &sa;
  msg.msg_namelen = sizeof sa;
  msg.msg_iov = iov.data();
  msg.msg_iovlen = parts.size();
  msg.msg_control = control.data();
  msg.msg_controllen = control.size();
  cmsghdr* c = CMSG_FIRSTHDR(&msg);
  c->cmsg_level = SOL_UDP;
  c->cmsg_type = UDP_SEGMENT;
  c->cmsg_len = CMSG_LEN(sizeof(std::uint16_t));
  const auto size = static_cast<std::uint16_t>(segmentSize);
  std::memcpy(CMSG_DATA(c), &size, sizeof size);
  ssize_t sent;
  do {
    sent = ::sendmsg(fd_, &msg, MSG_NOSIGNAL);
  } while (sent < 0 && errno == EINTR);
  return static_cast<long>(sent);
}

int UdpSocket::SendEach(const Endpoint& destination, std::span<const GatherList> datagrams) {
  constexpr std::size_t kMaxMessages = 64;
  sockaddr_in sa = ToSockaddr(destination);
  std::array<mmsghdr, kMaxMessages> messages;
  std::array<iovec, kMaxBatchParts> iov;
  int sent = 0;
  std::size_t next = 0;
  while (next < datagrams.size()) {
    // As many datagrams as fit the arrays go in one call.
    std::size_t count = 0, parts = 0;
    while (next + count < datagrams.size() && count < kMaxMessages &&
           parts + datagrams[next + count].size() <= kMaxBatchParts) {
      const GatherList list = datagrams[next + count];
      for (std::size_t i = 0; i < list.size(); ++i) {
        iov[parts + i].iov_base = const_cast<void*>(list[i].data);
        iov[parts + i].iov_len = list[i].size;
      }
      messages[count] = mmsghdr{};
      messages[count].msg_hdr.msg_name = &sa;
      messages[count].msg_hdr.msg_namelen = sizeof sa;
      messages[count].msg_hdr.msg_iov = iov.data() + parts;
      messages[count].msg_hdr.msg_iovlen = list.size();
      parts += list.size();
      ++count;
    }
    if (count == 0) {
      errno = EINVAL;  // one gather list longer than the arrays
      break;
    }
    int done;
    do {
      done = ::sendmmsg(fd_, messages.data(), static_cast<unsigned>(count), MSG_NOSIGNAL);
    } while (done < 0 && errno == EINTR);
    if (done <= 0) break;
    sent += done;
    next += static_cast<std::size_t>(done);
    if (static_cast<std::size_t>(done) < count) break;  // the next one failed
  }
  return sent == 0 && !datagrams.empty() ? -1 : sent;
}

std::size_t UdpSocket::ReceiveMany(std::span<const ScatterPair> into,
                                   std::span<ReceiveResult> results) {
  constexpr std::size_t kMaxMessages = 64;
  const std::size_t count = std::min({into.size(), results.size(), kMaxMessages});
  if (count == 0) return 0;
  std::array<mmsghdr, kMaxMessages> messages;
  std::array<std::array<iovec, 2>, kMaxMessages> iov;
  std::array<sockaddr_in, kMaxMessages> sources;
  for (std::size_t i = 0; i < count; ++i) {
    iov[i] = {
        {{into[i].head.data(), into[i].head.size()}, {into[i].body.data(), into[i].body.size()}}};
    sources[i] = sockaddr_in{};
    messages[i] = mmsghdr{};
    messages[i].msg_hdr.msg_name = &sources[i];
    messages[i].msg_hdr.msg_namelen = sizeof sources[i];
    messages[i].msg_hdr.msg_iov = iov[i].data();
    messages[i].msg_hdr.msg_iovlen = iov[i].size();
  }
  int got;
  do {
    // MSG_WAITFORONE: wait for the first, then take only what is already there.
    got = ::recvmmsg(fd_, messages.data(), static_cast<unsigned>(count), MSG_WAITFORONE | MSG_TRUNC,
                     nullptr);
  } while (got < 0 && errno == EINTR);
  if (got <= 0) {
    results[0] = ReceiveResult{};
    return 0;
  }
  for (std::size_t i = 0; i < static_cast<std::size_t>(got); ++i) {
    const msghdr& m = messages[i].msg_hdr;
    ReceiveResult& r = results[i];
    r.source = FromSockaddr(sources[i]);
    // With MSG_TRUNC the length is the datagram's own, even when it did not fit.
    r.length = messages[i].msg_len;
    if (messages[i].msg_len == 0 && m.msg_namelen == 0) {
      r.status = ReceiveStatus::kClosed;
    } else if ((m.msg_flags & MSG_TRUNC) != 0) {
      r.status = ReceiveStatus::kTruncated;
    } else {
      r.status = ReceiveStatus::kOk;
    }
  }
  if (got == 1 && results[0].status == ReceiveStatus::kClosed) return 0;
  return static_cast<std::size_t>(got);
}

ReceiveResult UdpSocket::ReceiveFrom(std::span<std::uint8_t> head, std::span<std::uint8_t> body) {
  std::array<iovec, 2> iov{{{head.data(), head.size()}, {body.data(), body.size()}}};
  sockaddr_in sa{};
  msghdr msg{};
  msg.msg_name = &sa;
  msg.msg_namelen = sizeof sa;
  msg.msg_iov = iov.data();
  msg.msg_iovlen = iov.size();
  ssize_t got;
  do {
    // MSG_TRUNC makes the call return the datagram's real length when it did not fit.
    got = ::recvmsg(fd_, &msg, MSG_TRUNC);
  } while (got < 0 && errno == EINTR);
  ReceiveResult result;
  if (got < 0) return result;
  result.source = FromSockaddr(sa);
  result.length = static_cast<std::size_t>(got);
  if (got == 0 && msg.msg_namelen == 0) {
    result.status = ReceiveStatus::kClosed;  // woken by a shutdown, not a datagram
  } else if ((msg.msg_flags & MSG_TRUNC) != 0) {
    result.status = ReceiveStatus::kTruncated;
  } else {
    result.status = ReceiveStatus::kOk;
  }
  return result;
}

bool UdpSocket::HasUnread() const {
  if (fd_ < 0) return false;
  // The size of the next datagram: 0 when none waits (an empty datagram reads as none, and
  // nothing of ours is empty).
  int next = 0;
  return ::ioctl(fd_, FIONREAD, &next) == 0 && next > 0;
}

void UdpSocket::ShutdownReceive() {
  if (fd_ >= 0) ::shutdown(fd_, SHUT_RDWR);
}

void UdpSocket::Close() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
}

}  // namespace vantorel::net
