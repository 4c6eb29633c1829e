// The listening tool's playback report: the per-stream lines printed at exit.
#pragma once

#include <string>

#include "receiver/playback_graph.h"

namespace vantorel::tools {

// "stream=<video|audio> caps=<caps> delivered=<packets> decoded=<n> late=<n>"
std::string DescribeStream(const receiver::StreamReport& report);
// "timing stream=... timed=<n> median-margin-ms=<x> worst-margin-ms=<y>"
std::string DescribeTiming(const receiver::StreamReport& report);

}  // namespace vantorel::tools
