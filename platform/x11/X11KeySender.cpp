#include "platform/x11/X11KeySender.h"
