#pragma once

class QWidget;

// SIGTERM, SIGINT and SIGHUP (logout, Ctrl+C in a terminal) close `window` as its close box does,
// so the settings are written as after a normal exit.
void CloseOnTerminationSignals(QWidget* window);
