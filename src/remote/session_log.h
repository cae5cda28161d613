// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The session log queue: every thread posts lines here; the window thread (or the command line)
// drains them in posting order. One queue for the whole program, alive from start to end.

#include <functional>
#include <string>

// Appends one line at the tail of the queue. Any thread; never fails. A line posted by a thread
// of a copy's numbered connection begins with its number: "(2) RETR a.txt".
void PostLogLine(std::string line);

// The connection whose lines this thread posts (1 and up), for a copy over several connections;
// 0, the default, marks none. A session's worker takes the number of the thread that starts it.
void SetLogConnection(int number);
int LogConnection();

// Hands every queued line, oldest first, to `sink`, until the queue is empty. Lines posted while
// the sink runs (from any thread, the draining one included) are handed over in the same call.
void DrainLogQueue(const std::function<void(const std::string&)>& sink);

// Called, outside the queue lock, whenever a line lands in an empty queue, so that the thread that
// drains can be woken at once. An empty function removes the hook.
void SetLogWakeUp(std::function<void()> wakeUp);

#include "remote/format_text.h"

// Formats a line like FormatText and posts it.
void LogMessage(std::string_view format, std::initializer_list<FormatArg> args = {});
