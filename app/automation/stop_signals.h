#pragma once

#include <array>
#include <csignal>
#include <string>

// SIGINT (Ctrl-C), SIGTERM (`kill`, the session ending) and SIGHUP (the terminal closed) stop
// sorvik as quitting does, never by their default action. `install` catches them at the very
// start of `main`, for the life of the process, so one that comes at any moment, even before
// sorvik knows what it will run, is handled. The handler does only what a handler may: it
// keeps the number of the first signal (`received`) and writes a byte to a pipe, which the
// window program reads on its event loop and the command line on a thread of its own. What
// the signal ends is theirs to decide: the window quits; a command stops before its next
// step; a batch that has not begun moving files is dropped, one that has finishes.
namespace sorvik::StopSignals {

/// The signals caught.
inline constexpr std::array caught { SIGINT, SIGTERM, SIGHUP };

/// Catches the signals from now on, and lets them through where the process was started with
/// them blocked. Call it first in `main`, before any thread exists, so that every thread
/// inherits it. The first call makes the pipe; a later one catches the signals again after
/// `restoreDefaultActions`.
void install();

/// Gives the signals their default action back: the next one ends the process at once. What
/// came before stays recorded.
void restoreDefaultActions();

/// The first of the signals that came since `install`, or 0. Safe to ask at any moment: a
/// signal is recorded before anything else is done with it, so a step that finds 0 here and
/// then goes ahead may be sure that any signal to come will see that step done.
int received();

/// The read end of the pipe: one byte, the signal's number, for each signal that came. It
/// never blocks. -1 before `install`, or when no pipe could be made.
int descriptor();

/// The name of one of the signals as messages give it: "SIGINT", "SIGTERM" or "SIGHUP".
std::string name(int signal);

} // namespace sorvik::StopSignals
