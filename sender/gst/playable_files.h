// Which files this machine can play: the file name extensions of every format that one of the
// installed GStreamer elements can take apart, parse or decode.
#pragma once

#include <string>
#include <vector>

namespace vantorel::sender::gst {

// Lower case, without the dot, sorted, each once; empty when GStreamer cannot start.
std::vector<std::string> PlayableExtensions();

}  // namespace vantorel::sender::gst
