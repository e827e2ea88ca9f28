#pragma once

#include "app/shell/launch_arguments.h"

namespace sorvik {

/// The text and status of a window program that finds no display to show its window on.
inline constexpr const char* noDisplayText
    = "sorvik: there is no display to show the window on. The commands rename, presets, grant "
      "and grants work without one.\n";
/// A running sorvik holds the instance lock but took no request.
inline constexpr const char* noAnswerText
    = "sorvik: another sorvik is running but does not answer.\n";

/// Whether a window can be shown: a display (X11 or Wayland) is named, or a platform Qt is
/// told to use needs none ("offscreen", say). An X11 or Wayland platform asked for by name
/// needs its own display.
bool hasDisplay();

/// Runs the window program for `launch` (whose program is the window): hands the request to
/// a running sorvik and returns 0, or becomes the one window program and runs it until it
/// quits. `programPath` is the program's own `argv[0]`.
int runWindowProgram(const LaunchArguments& launch, char* programPath);

} // namespace sorvik
