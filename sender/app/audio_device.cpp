#include "sender/app/audio_device.h"

#include <gst/gst.h>

#include "platform/media/gst_ptr.h"
#include "platform/media/video_output.h"

namespace vantorel::sender::app {

bool AudioDeviceMissing() {
  if (!gst_is_initialized()) gst_init(nullptr, nullptr);
  bool noDevice = false;
  GstElement* made = media::MakeAudioOutput(noDevice);
  if (made == nullptr) return true;
  const media::ElementPtr output(GST_ELEMENT(gst_object_ref_sink(made)));
  // The output chose its device on the way to READY; it is released again here.
  gst_element_set_state(output.get(), GST_STATE_NULL);
  return noDevice;
}

}  // namespace vantorel::sender::app
