#include "receiver/gst/stream_source_pin.h"

#include "platform/media/gst_debug.h"

#include <gst/base/gstpushsrc.h>

#include <memory>

#include "platform/media/gst_ptr.h"

namespace vantorel::receiver::gst {
namespace {

constexpr GstClockTime kNanosecondsPer100ns = 100;
// The longest time in 100 ns units that is still a valid clock time in nanoseconds.
constexpr std::uint64_t kLongest100ns = (GST_CLOCK_TIME_NONE - 1) / kNanosecondsPer100ns;

struct VantorelStreamSourcePin {
  GstPushSrc parent;
  // Set once before the element leaves the caller's hands; then only read.
  receiver::SourcePin* pin;
  GstCaps* caps;
};

struct VantorelStreamSourcePinClass {
  GstPushSrcClass parent_class;
};

VantorelStreamSourcePin* Self(gpointer object) {
  return reinterpret_cast<VantorelStreamSourcePin*>(object);
}

}  // namespace

extern "C" {
GType vantorel_stream_source_pin_get_type();
G_DEFINE_TYPE(VantorelStreamSourcePin, vantorel_stream_source_pin, GST_TYPE_PUSH_SRC)
}

namespace {

GstStaticPadTemplate kSrcTemplate =
    GST_STATIC_PAD_TEMPLATE("src", GST_PAD_SRC, GST_PAD_ALWAYS, GST_STATIC_CAPS_ANY);

// The pin offers one media type (GetMediaType position 0); called on any thread that
// queries caps.
GstCaps* PinGetCaps(GstBaseSrc* src, GstCaps* filter) {
  GstCaps* own = Self(src)->caps;
  if (own == nullptr) return gst_caps_new_empty();
  if (filter == nullptr) return gst_caps_ref(own);
  return gst_caps_intersect_full(filter, own, GST_CAPS_INTERSECT_FIRST);
}

// CheckMediaType: only the pin's own type is accepted. Streaming thread (negotiation).
gboolean PinSetCaps(GstBaseSrc* src, GstCaps* caps) {
  GstCaps* own = Self(src)->caps;
  return own != nullptr && gst_caps_is_equal(caps, own);
}

// Any thread (state changes, flushing): wakes the streaming thread out of Pop. The queue
// keeps its packets; only the end of the stream (the graph closing) stops it for good.
gboolean PinUnlock(GstBaseSrc* src) {
  if (receiver::SourcePin* pin = Self(src)->pin) pin->Queue().Interrupt();
  return TRUE;
}

// The flush or state change is over: Pop blocks again.
gboolean PinUnlockStop(GstBaseSrc* src) {
  if (receiver::SourcePin* pin = Self(src)->pin) pin->Queue().Resume();
  return TRUE;
}

// The pin never waits for the clock: samples arrive when the sender sent them, and the
// outputs keep time. Streaming thread.
void PinGetTimes(GstBaseSrc*, GstBuffer*, GstClockTime* start, GstClockTime* end) {
  *start = GST_CLOCK_TIME_NONE;
  *end = GST_CLOCK_TIME_NONE;
}

// Streaming thread: a segment start flushes downstream without resetting its running time,
// and the stream's segment is sent again so that it precedes the next buffer.
void FlushDownstream(GstBaseSrc* src) {
  GstPad* pad = GST_BASE_SRC_PAD(src);
  gst_pad_push_event(pad, gst_event_new_flush_start());
  gst_pad_push_event(pad, gst_event_new_flush_stop(FALSE));
  GstSegment segment;
  GST_OBJECT_LOCK(src);
  gst_segment_copy_into(&src->segment, &segment);
  GST_OBJECT_UNLOCK(src);
  gst_pad_push_event(pad, gst_event_new_segment(&segment));
}

void FreePacket(gpointer packet) {
  delete static_cast<receiver::Packet*>(packet);
}

// The sample's bytes stay in the packet they arrived in; the buffer owns the packet.
GstBuffer* WrapSample(receiver::Packet packet, const receiver::PinSample& sample) {
  if (sample.data.empty()) return gst_buffer_new();
  const gsize offset = static_cast<gsize>(sample.data.data() - packet.data());
  const gsize size = sample.data.size();
  auto owned = std::make_unique<receiver::Packet>(std::move(packet));
  gpointer data = owned->data();
  const gsize maxSize = owned->size();
  return gst_buffer_new_wrapped_full(GST_MEMORY_FLAG_READONLY, data, maxSize, offset, size,
                                     owned.release(), &FreePacket);
}

void ApplyProperties(GstBuffer* buffer, const protocol::SampleProperties& p) {
  if ((p.sampleFlags & protocol::kSampleTimeValid) != 0) {
    GST_BUFFER_PTS(buffer) = ClockTimeFrom100ns(p.start);
    if ((p.sampleFlags & protocol::kSampleStopValid) != 0) {
      GST_BUFFER_DURATION(buffer) = DurationFrom100ns(p.start, p.stop);
    }
  }
  if ((p.sampleFlags & protocol::kSampleDataDiscontinuity) != 0) {
    GST_BUFFER_FLAG_SET(buffer, GST_BUFFER_FLAG_DISCONT);
  }
  if ((p.sampleFlags & protocol::kSampleSplicePoint) == 0) {
    GST_BUFFER_FLAG_SET(buffer, GST_BUFFER_FLAG_DELTA_UNIT);
  }
}

// FillBuffer, on the pin's streaming thread: takes packets until one gives a sample.
GstFlowReturn PinCreate(GstPushSrc* push, GstBuffer** out) {
  auto* src = GST_BASE_SRC(push);
  receiver::SourcePin* pin = Self(push)->pin;
  if (pin == nullptr) return GST_FLOW_ERROR;
  for (;;) {
    std::optional<receiver::Packet> packet = pin->Queue().Pop();
    if (!packet) return GST_FLOW_FLUSHING;
    receiver::PinSample sample;
    switch (pin->Logic().Take(*packet, sample)) {
      case receiver::PinStep::kSkip:
        continue;
      case receiver::PinStep::kFlush:
        FlushDownstream(src);
        continue;
      case receiver::PinStep::kEnd:
        GST_CAT_WARNING_OBJECT(media::DebugCategory(), src, "malformed sample: the stream ends");
        pin->SetConnected(false);
        return GST_FLOW_EOS;
      case receiver::PinStep::kDeliver: {
        GstBuffer* buffer = WrapSample(std::move(*packet), sample);
        ApplyProperties(buffer, sample.properties);
        *out = buffer;
        return GST_FLOW_OK;
      }
    }
  }
}

// On whichever thread drops the last reference.
void PinFinalize(GObject* object) {
  auto* self = Self(object);
  if (self->caps != nullptr) gst_caps_unref(self->caps);
  self->caps = nullptr;
  G_OBJECT_CLASS(vantorel_stream_source_pin_parent_class)->finalize(object);
}

}  // namespace

extern "C" {

static void vantorel_stream_source_pin_class_init(VantorelStreamSourcePinClass* klass) {
  G_OBJECT_CLASS(klass)->finalize = &PinFinalize;
  auto* element_class = GST_ELEMENT_CLASS(klass);
  gst_element_class_set_static_metadata(element_class, "Stream source pin", "Source",
                                        "Plays one broadcast stream from its packet queue",
                                        "Vantorel");
  gst_element_class_add_static_pad_template(element_class, &kSrcTemplate);
  auto* base_class = GST_BASE_SRC_CLASS(klass);
  base_class->get_caps = &PinGetCaps;
  base_class->set_caps = &PinSetCaps;
  base_class->unlock = &PinUnlock;
  base_class->unlock_stop = &PinUnlockStop;
  base_class->get_times = &PinGetTimes;
  GST_PUSH_SRC_CLASS(klass)->create = &PinCreate;
}

static void vantorel_stream_source_pin_init(VantorelStreamSourcePin* self) {
  self->pin = nullptr;
  self->caps = nullptr;
  gst_base_src_set_live(GST_BASE_SRC(self), TRUE);
  gst_base_src_set_format(GST_BASE_SRC(self), GST_FORMAT_TIME);
}

}  // extern "C"

GstClockTime ClockTimeFrom100ns(std::int64_t time) {
  if (time < 0 || static_cast<std::uint64_t>(time) > kLongest100ns) return GST_CLOCK_TIME_NONE;
  return static_cast<GstClockTime>(time) * kNanosecondsPer100ns;
}

GstClockTime DurationFrom100ns(std::int64_t start, std::int64_t stop) {
  if (stop <= start) return GST_CLOCK_TIME_NONE;
  // Exact in unsigned arithmetic: the difference is positive and below 2^64.
  const std::uint64_t length = static_cast<std::uint64_t>(stop) - static_cast<std::uint64_t>(start);
  if (length > kLongest100ns) return GST_CLOCK_TIME_NONE;
  return length * kNanosecondsPer100ns;
}

GstElement* MakeStreamSourcePin(receiver::SourcePin& pin, const GstCaps* caps, const char* name) {
  if (!gst_init_check(nullptr, nullptr, nullptr)) return nullptr;
  auto* element = static_cast<GstElement*>(
      g_object_new(vantorel_stream_source_pin_get_type(), "name", name, nullptr));
  if (element == nullptr) return nullptr;
  gst_object_ref_sink(element);
  Self(element)->pin = &pin;
  // Fixed caps: what negotiation settles on must be exactly this type.
  if (caps != nullptr) Self(element)->caps = gst_caps_fixate(gst_caps_copy(caps));
  return element;
}

}  // namespace vantorel::receiver::gst
