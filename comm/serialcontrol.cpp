#include "serialcontrol.h"
