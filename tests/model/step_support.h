#pragma once

// The frame tests still name the recording canvas from here; the canvas itself is the shared
// one in tests/support.

#include "../support/recording_canvas.h"

namespace steptest {
using brownian::test::RecordingCanvas;
} // namespace steptest
