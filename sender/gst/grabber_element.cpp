#include "sender/gst/grabber_element.h"

#include <gst/base/gstbasetransform.h>

#include <limits>

#include "platform/media/gst_ptr.h"

namespace vantorel::sender::gst {

namespace {

struct VantorelGrabber {
  GstBaseTransform parent;
  // Read on streaming threads, cleared by the owner: accessed atomically.
  gpointer callbacks;
};

struct VantorelGrabberClass {
  GstBaseTransformClass parent_class;
};

GrabberCallbacks* CallbacksOf(GstBaseTransform* trans) {
  auto* self = reinterpret_cast<VantorelGrabber*>(trans);
  return static_cast<GrabberCallbacks*>(g_atomic_pointer_get(&self->callbacks));
}

}  // namespace

extern "C" {
GType vantorel_grabber_get_type();
G_DEFINE_TYPE(VantorelGrabber, vantorel_grabber, GST_TYPE_BASE_TRANSFORM)
}

namespace {

GstStaticPadTemplate kSinkTemplate =
    GST_STATIC_PAD_TEMPLATE("sink", GST_PAD_SINK, GST_PAD_ALWAYS, GST_STATIC_CAPS_ANY);
GstStaticPadTemplate kSrcTemplate =
    GST_STATIC_PAD_TEMPLATE("src", GST_PAD_SRC, GST_PAD_ALWAYS, GST_STATIC_CAPS_ANY);

// Streaming thread.
gboolean GrabberSinkEvent(GstBaseTransform* trans, GstEvent* event) {
  if (GST_EVENT_TYPE(event) == GST_EVENT_SEGMENT) {
    const GstSegment* segment = nullptr;
    gst_event_parse_segment(event, &segment);
    if (GrabberCallbacks* callbacks = CallbacksOf(trans)) callbacks->NewSegment(*segment);
  }
  return GST_BASE_TRANSFORM_CLASS(vantorel_grabber_parent_class)->sink_event(trans, event);
}

// Streaming thread: runs when the sink pad takes new caps.
gboolean GrabberSetCaps(GstBaseTransform* trans, GstCaps* incaps, GstCaps*) {
  if (gst_pad_is_linked(trans->srcpad)) {
    if (GrabberCallbacks* callbacks = CallbacksOf(trans)) callbacks->CapsReady(incaps);
  }
  return TRUE;
}

// Streaming thread; the buffer is only read.
GstFlowReturn GrabberTransformIp(GstBaseTransform* trans, GstBuffer* buffer) {
  if (GrabberCallbacks* callbacks = CallbacksOf(trans))
    callbacks->Transform(buffer, trans->segment);
  return GST_FLOW_OK;
}

gboolean RegisterPlugin(GstPlugin* plugin) {
  return gst_element_register(plugin, "vantorelgrabber", GST_RANK_NONE,
                              vantorel_grabber_get_type());
}

}  // namespace

extern "C" {

static void vantorel_grabber_class_init(VantorelGrabberClass* klass) {
  auto* element_class = GST_ELEMENT_CLASS(klass);
  gst_element_class_set_static_metadata(element_class, "Stream grabber", "Filter",
                                        "Hands every buffer to its owner and passes it on",
                                        "Vantorel");
  gst_element_class_add_static_pad_template(element_class, &kSinkTemplate);
  gst_element_class_add_static_pad_template(element_class, &kSrcTemplate);
  auto* trans_class = GST_BASE_TRANSFORM_CLASS(klass);
  trans_class->sink_event = &GrabberSinkEvent;
  trans_class->set_caps = &GrabberSetCaps;
  trans_class->transform_ip = &GrabberTransformIp;
  trans_class->transform_ip_on_passthrough = TRUE;
  trans_class->passthrough_on_same_caps = TRUE;
}

static void vantorel_grabber_init(VantorelGrabber* self) {
  gst_base_transform_set_passthrough(GST_BASE_TRANSFORM(self), TRUE);
  gst_base_transform_set_in_place(GST_BASE_TRANSFORM(self), TRUE);
  g_atomic_pointer_set(&self->callbacks, nullptr);
}

}  // extern "C"

bool RegisterGrabberElement() {
  static const bool registered = [] {
    if (!gst_init_check(nullptr, nullptr, nullptr)) return false;
    return gst_plugin_register_static(GST_VERSION_MAJOR, GST_VERSION_MINOR, "vantorelgrabber",
                                      "In-process stream grabber", &RegisterPlugin, "0.1",
                                      "Proprietary", "vantorel", "vantorel", "vantorel") != FALSE;
  }();
  return registered;
}

GstElement* MakeGrabberElement(const char* name, GrabberCallbacks* callbacks) {
  if (!RegisterGrabberElement()) return nullptr;
  GstElement* element = gst_element_factory_make("vantorelgrabber", name);
  if (element == nullptr) return nullptr;
  gst_object_ref_sink(element);
  g_atomic_pointer_set(&reinterpret_cast<VantorelGrabber*>(element)->callbacks, callbacks);
  return element;
}

void DetachGrabberElement(GstElement* element) {
  g_atomic_pointer_set(&reinterpret_cast<VantorelGrabber*>(element)->callbacks, nullptr);
}

std::optional<protocol::AllocatorProperties> QueryDownstreamAllocation(GstElement* element,
                                                                       const GstCaps* caps) {
  media::PadPtr src(gst_element_get_static_pad(element, "src"));
  media::QueryPtr query(gst_query_new_allocation(const_cast<GstCaps*>(caps), TRUE));
  if (!src || !gst_pad_peer_query(src.get(), query.get()) ||
      gst_query_get_n_allocation_pools(query.get()) == 0) {
    return std::nullopt;
  }
  GstBufferPool* pool = nullptr;
  guint size = 0, minBuffers = 0, maxBuffers = 0;
  gst_query_parse_nth_allocation_pool(query.get(), 0, &pool, &size, &minBuffers, &maxBuffers);
  if (pool != nullptr) gst_object_unref(pool);
  protocol::AllocatorProperties properties;
  constexpr guint kMax = std::numeric_limits<std::int32_t>::max();
  properties.buffers = static_cast<std::int32_t>(std::min(std::max(minBuffers, 1u), kMax));
  properties.bufferSize = static_cast<std::int32_t>(std::min(size, kMax));
  properties.alignment = 1;
  if (gst_query_get_n_allocation_params(query.get()) > 0) {
    GstAllocator* allocator = nullptr;
    GstAllocationParams params;
    gst_query_parse_nth_allocation_param(query.get(), 0, &allocator, &params);
    if (allocator != nullptr) gst_object_unref(allocator);
    properties.alignment = static_cast<std::int32_t>(std::min<gsize>(params.align + 1, kMax));
    properties.prefix = static_cast<std::int32_t>(std::min<gsize>(params.prefix, kMax));
  }
  return properties;
}

GstClockTime ReadElementClock(GstElement* element) {
  media::ClockPtr clock(gst_element_get_clock(element));
  if (!clock) clock.reset(gst_system_clock_obtain());
  return gst_clock_get_time(clock.get());
}

}  // namespace vantorel::sender::gst
