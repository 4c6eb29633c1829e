#include "sender/gst/capture_devices.h"

#include "platform/media/gst_ptr.h"

// After GStreamer's headers: Xlib defines macros (None, Status) that would clash with them.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <gst/gst.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>

namespace vantorel::sender::gst {

namespace {

// --- Devices, as GStreamer's device providers see them.

struct DeviceMonitorStop {
  void operator()(GstDeviceMonitor* monitor) const {
    gst_device_monitor_stop(monitor);
    gst_object_unref(monitor);
  }
};
struct DeviceListFree {
  void operator()(GList* list) const { g_list_free_full(list, gst_object_unref); }
};
struct StructureFree {
  void operator()(GstStructure* s) const { gst_structure_free(s); }
};
using StructurePtr = std::unique_ptr<GstStructure, StructureFree>;

std::string StringProperty(const GstStructure* properties, const char* field) {
  const gchar* value =
      properties != nullptr ? gst_structure_get_string(properties, field) : nullptr;
  return value != nullptr ? value : "";
}

// The name a sound source takes as its "device": the provider's internal name (pulsesrc,
// alsasrc), else the node's name, which the sound server's pulse interface accepts too.
std::string SoundDeviceName(GstDevice* device, const GstStructure* properties) {
  if (g_object_class_find_property(G_OBJECT_GET_CLASS(device), "internal-name") != nullptr) {
    gchar* internal = nullptr;
    g_object_get(device, "internal-name", &internal, nullptr);
    const media::GCharPtr owned(internal);
    if (internal != nullptr && *internal != '\0') return internal;
  }
  return StringProperty(properties, "node.name");
}

// A camera is opened by its video4linux path, which every provider puts among the properties.
std::string CameraPath(const GstStructure* properties) {
  std::string path = StringProperty(properties, "api.v4l2.path");
  return path.empty() ? StringProperty(properties, "device.path") : path;
}

// Sound servers list the monitor of every output as a source too: that is not a microphone.
bool IsMonitor(const GstStructure* properties) {
  return StringProperty(properties, "device.class") == "monitor";
}

std::vector<CaptureDevice> ListDevices(const char* deviceClass, bool sound) {
  std::vector<CaptureDevice> found;
  if (!gst_init_check(nullptr, nullptr, nullptr)) return found;
  std::unique_ptr<GstDeviceMonitor, DeviceMonitorStop> monitor(gst_device_monitor_new());
  gst_device_monitor_add_filter(monitor.get(), deviceClass, nullptr);
  const std::unique_ptr<GList, DeviceListFree> devices(
      gst_device_monitor_get_devices(monitor.get()));
  for (GList* it = devices.get(); it != nullptr; it = it->next) {
    GstDevice* device = GST_DEVICE(it->data);
    const StructurePtr properties(gst_device_get_properties(device));
    if (sound && IsMonitor(properties.get())) continue;
    CaptureDevice entry;
    entry.device = sound ? SoundDeviceName(device, properties.get()) : CameraPath(properties.get());
    const media::GCharPtr name(gst_device_get_display_name(device));
    entry.name = name ? name.get() : entry.device;
    // Several providers may list one device; it is kept once.
    const bool known = std::any_of(found.begin(), found.end(), [&entry](const CaptureDevice& d) {
      return d.device == entry.device;
    });
    if (!entry.device.empty() && !known) found.push_back(std::move(entry));
  }
  return found;
}

// --- Windows of an X display.

struct DisplayClose {
  void operator()(Display* display) const { XCloseDisplay(display); }
};
using DisplayPtr = std::unique_ptr<Display, DisplayClose>;
struct XFreeData {
  void operator()(void* data) const { XFree(data); }
};
template <typename T>
using XDataPtr = std::unique_ptr<T, XFreeData>;

// A window may close while it is being read: the error that brings is ignored rather than
// ending the program, for as long as this guard lives (on the window thread only).
class IgnoreXErrors {
 public:
  IgnoreXErrors() : previous_(XSetErrorHandler(&Ignore)) {}
  ~IgnoreXErrors() { XSetErrorHandler(previous_); }
  IgnoreXErrors(const IgnoreXErrors&) = delete;
  IgnoreXErrors& operator=(const IgnoreXErrors&) = delete;

 private:
  static int Ignore(Display*, XErrorEvent*) { return 0; }
  int (*previous_)(Display*, XErrorEvent*);
};

// A window property of `type` and item width `format` (8 or 32 bits; 32-bit items come as
// longs): its items, nothing when the window has none of that kind.
std::optional<std::vector<unsigned char>> ReadProperty(Display* display, Window window,
                                                       Atom property, Atom type, int format,
                                                       long maxItems) {
  Atom actualType = None;
  int actualFormat = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(display, window, property, 0, maxItems, False, type, &actualType,
                         &actualFormat, &count, &after, &data) != Success) {
    return std::nullopt;
  }
  const XDataPtr<unsigned char> owned(data);
  if (data == nullptr || actualFormat != format || actualType != type || count == 0) {
    return std::nullopt;
  }
  const std::size_t itemSize = format == 32 ? sizeof(unsigned long) : 1;
  return std::vector<unsigned char>(data, data + count * itemSize);
}

std::vector<unsigned long> ListProperty(Display* display, Window window, Atom property, Atom type) {
  constexpr long kMaxItems = 4096;
  const auto bytes = ReadProperty(display, window, property, type, 32, kMaxItems);
  if (!bytes) return {};
  std::vector<unsigned long> items(bytes->size() / sizeof(unsigned long));
  std::memcpy(items.data(), bytes->data(), items.size() * sizeof(unsigned long));
  return items;
}

// _NET_WM_NAME (UTF-8) when the window has it, else WM_NAME.
std::string WindowTitle(Display* display, Window window) {
  constexpr long kMaxTitle = 1024;
  if (const auto title = ReadProperty(display, window, XInternAtom(display, "_NET_WM_NAME", False),
                                      XInternAtom(display, "UTF8_STRING", False), 8, kMaxTitle)) {
    return std::string(title->begin(), title->end());
  }
  char* name = nullptr;
  if (XFetchName(display, window, &name) != 0 && name != nullptr) {
    const XDataPtr<char> owned(name);
    return name;
  }
  return {};
}

// Without a window manager that lists its clients: the root's mapped children.
std::vector<unsigned long> MappedTopLevels(Display* display, Window root) {
  Window rootReturn = 0, parent = 0;
  Window* children = nullptr;
  unsigned int count = 0;
  if (XQueryTree(display, root, &rootReturn, &parent, &children, &count) == 0) return {};
  const XDataPtr<Window> owned(children);
  std::vector<unsigned long> mapped;
  for (unsigned int i = 0; i < count; ++i) {
    XWindowAttributes attributes{};
    if (XGetWindowAttributes(display, children[i], &attributes) != 0 &&
        attributes.map_state == IsViewable && attributes.override_redirect == False) {
      mapped.push_back(children[i]);
    }
  }
  return mapped;
}

}  // namespace

std::vector<CaptureDevice> ListCameras() {
  return ListDevices("Video/Source", false);
}

std::vector<CaptureDevice> ListMicrophones() {
  return ListDevices("Audio/Source", true);
}

std::vector<CaptureWindow> ListWindows(const std::string& display) {
  const DisplayPtr x(XOpenDisplay(display.empty() ? nullptr : display.c_str()));
  if (!x) return {};
  const IgnoreXErrors guard;
  const Window root = DefaultRootWindow(x.get());
  std::vector<unsigned long> ids =
      ListProperty(x.get(), root, XInternAtom(x.get(), "_NET_CLIENT_LIST", False), XA_WINDOW);
  if (ids.empty()) ids = MappedTopLevels(x.get(), root);
  std::vector<CaptureWindow> windows;
  for (const unsigned long id : ids) {
    std::string title = WindowTitle(x.get(), id);
    if (!title.empty()) windows.push_back({id, std::move(title)});
  }
  XSync(x.get(), False);  // errors of the windows read are handled while the guard lives
  return windows;
}

}  // namespace vantorel::sender::gst
