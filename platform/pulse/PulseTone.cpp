#include "platform/pulse/PulseTone.h"
