#include "settings/RunSettings.h"

RunSettings Run;
