#include "sensor_peer.h"
