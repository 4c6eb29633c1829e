// Whether the machine has an audio device for the sender's own playback.
#pragma once

namespace vantorel::sender::app {

// True when audio would go to a null sink for want of a device. The graph reports this as a
// graph event too; asking here does not depend on that report reaching the window.
bool AudioDeviceMissing();

}  // namespace vantorel::sender::app
