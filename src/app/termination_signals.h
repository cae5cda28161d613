// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QWidget;

// SIGTERM, SIGINT and SIGHUP (logout, Ctrl+C in a terminal) close `window` as its close box does,
// so the settings are written as after a normal exit.
void CloseOnTerminationSignals(QWidget* window);

// From now on those signals end the process at once: the window is gone and what the user made
// is saved, so nothing is left that a signal could still be asked to wait for.
void EndProcessOnTerminationSignals();
