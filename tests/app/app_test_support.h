// What the application's tests share: a recorder whose events nobody hears.
#pragma once

#include "engine/recorder_events.h"

class IgnoredEvents : public RecorderEvents {};
