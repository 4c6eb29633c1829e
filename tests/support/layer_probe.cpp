// Built only by the layer test, which expects it not to compile: a target that links the protocol
// alone includes the reception's header, a layer above it.
#include "protocol/wire_format.h"
#include "receiver/reception.h"
