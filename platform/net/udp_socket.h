// A move-only IPv4 UDP socket: the only place that includes the socket headers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vantorel::net {

struct Endpoint {
  std::uint32_t address = 0;  // host order
  std::uint16_t port = 0;
  friend bool operator==(const Endpoint&, const Endpoint&) = default;
  std::string ToString() const;
};

inline constexpr std::uint32_t kAnyAddress = 0;
inline constexpr std::uint32_t kLoopbackAddress = 0x7F000001u;
inline constexpr std::uint32_t kLimitedBroadcast = 0xFFFFFFFFu;
// The default hop limit of multicast datagrams: the local network only.
inline constexpr int kDefaultMulticastTtl = 1;
// No datagram of IPv4 UDP is larger; reported where the system has no message-size option.
inline constexpr std::uint32_t kMaxUdpPayload = 65507;

// "a.b.c.d" to a host-order address, and back.
std::optional<std::uint32_t> ParseIpv4(const std::string& text);
std::string FormatIpv4(std::uint32_t address);
// A host name's first IPv4 address (getaddrinfo: /etc/hosts, then DNS), or nothing. A name
// made of digits and dots is never looked up, and neither is one with characters no host name
// holds.
std::optional<std::uint32_t> ResolveIpv4(const std::string& name);
// The IPv4 addresses of this host's interfaces that are up, loopback left out, dotted.
std::vector<std::string> LocalIpv4Addresses();
// 224.0.0.0/4.
bool IsMulticast(std::uint32_t address);

struct NetworkInterface {
  std::string name;
  unsigned index = 0;
  std::vector<std::string> addresses;  // its IPv4 addresses, dotted
};
// This host's interface called `name` (up or not), or nothing when there is none.
std::optional<NetworkInterface> FindInterface(const std::string& name);

struct ConstBytes {
  const void* data = nullptr;
  std::size_t size = 0;
};

enum class ReceiveStatus { kOk, kTruncated, kClosed, kError };

struct ReceiveResult {
  ReceiveStatus status = ReceiveStatus::kError;
  std::size_t length = 0;  // the datagram's full length, even when truncated
  Endpoint source;
};

// One datagram's gather list, for the calls that send several at once.
using GatherList = std::span<const ConstBytes>;

// Where ReceiveMany scatters one datagram: head first, then body.
struct ScatterPair {
  std::span<std::uint8_t> head;
  std::span<std::uint8_t> body;
};

// The most datagrams one segmented send may carry (the system's limit).
inline constexpr std::size_t kMaxSegments = 64;
// The most parts of all datagrams' gather lists together in one call.
inline constexpr std::size_t kMaxBatchParts = 1024;

class UdpSocket {
 public:
  // Creates an unbound IPv4 datagram socket; check Valid().
  UdpSocket();
  ~UdpSocket();
  UdpSocket(UdpSocket&& other) noexcept;
  UdpSocket& operator=(UdpSocket&& other) noexcept;
  UdpSocket(const UdpSocket&) = delete;
  UdpSocket& operator=(const UdpSocket&) = delete;

  bool Valid() const { return fd_ >= 0; }
  bool SetBroadcast(bool on);
  bool SetReuseAddress(bool on);
  bool SetReceiveBuffer(int bytes);
  // How many routers a multicast datagram may cross (1: the local network only).
  bool SetMulticastTtl(int ttl);
  // Multicast datagrams leave through this interface instead of the routed one.
  bool SetMulticastInterface(unsigned interfaceIndex);
  // Joins `group` on one interface (0: the one the kernel routes the group to).
  bool JoinGroup(std::uint32_t group, unsigned interfaceIndex);
  // Off: only the groups this socket joined arrive, not those other sockets of the host joined.
  bool SetMulticastAll(bool on);
  // Sends and receives through the named interface only. On failure errno says why.
  bool BindToDevice(const std::string& interfaceName);
  bool Bind(const Endpoint& local);
  std::optional<Endpoint> LocalEndpoint() const;

  // Sends the parts as one datagram with a single gather call; the bytes are not copied.
  // Returns the bytes sent, or -1.
  long SendTo(const Endpoint& destination, std::span<const ConstBytes> parts);

  // Sends the parts as consecutive datagrams of `segmentSize` bytes, the last one possibly
  // shorter, in one call: the system cuts them (UDP segmentation offload), and they leave
  // exactly as if sent one by one. At most kMaxSegments datagrams, kMaxUdpPayload bytes in all
  // and kMaxBatchParts parts. Returns the bytes sent, or -1 with errno set (EIO or EINVAL where
  // the route or the system cannot segment: send them another way).
  long SendSegments(const Endpoint& destination, std::span<const ConstBytes> parts,
                    std::size_t segmentSize);

  // Sends each gather list as one datagram, in order, in as few calls as the system allows.
  // Returns how many were sent: fewer than asked when a send failed (errno says why), -1 when
  // the first one did.
  int SendEach(const Endpoint& destination, std::span<const GatherList> datagrams);

  // Blocks for one datagram, scattering it into head then body.
  ReceiveResult ReceiveFrom(std::span<std::uint8_t> head, std::span<std::uint8_t> body);

  // Blocks for one datagram, then takes those already waiting too, up to one per pair (at
  // most 64), in the order they arrived. Returns how many came, each described in `results`
  // (as large as `into`); 0 when closed or failed, with results[0] saying which.
  std::size_t ReceiveMany(std::span<const ScatterPair> into, std::span<ReceiveResult> results);
  // A datagram waits in the socket, not yet received; any thread.
  bool HasUnread() const;

  // Wakes a thread blocked in ReceiveFrom (it then returns kClosed or kError).
  void ShutdownReceive();
  void Close();

 private:
  int fd_ = -1;
};

}  // namespace vantorel::net
